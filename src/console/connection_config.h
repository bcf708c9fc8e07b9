#pragma once
// The settings file "ConfigOvg.ini": which channels are in use and which
// serial port each one takes. Qt-free; the main window applies the result.
//
// Line rules:
// - Lines end as ReadTextLines ends them (LF, CR LF, CR CR LF, a lone CR),
//   so a file converted once more between line-end styles reads the same.
// - The first line is read and never examined.
// - A later line equal to "[Connection]" (exactly, letter case included; a
//   blank before or after it makes another line) starts the key lines;
//   every line after it is a key line up to the end of the file (a later
//   bracketed line does not end the section).
// - Keys are recognised on the upper-cased line and must start it:
//   "TOTDEV" gives the channel count (ParseDigitAfter6);
//   "DEV" with the channel digit 1..8 as the 4th character names the port of
//   channel 0..7. Any other line is skipped, a DEV line whose digit is not
//   1..8 included (there is no such channel).
// - Port names: a Linux device name is case-sensitive and need not hold a C,
//   so the name is the text after the key and its '=', blanks around it
//   removed, letter case kept: "DEV1 = com3" names com3, "DEV2=ttyUSB1"
//   ttyUSB1, "DEV3=/dev/ttyACM0" that path, "DEV1=COM3 ;main" "COM3 ;main".
//   Without an '=' the name is the text after the key, trimmed.
// - A port name longer than PATH_MAX (4096) bytes is no port: its line is
//   skipped like a line of no channel, so no such name reaches the log.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ConfigPort {
  uint8_t channel;  // 0..7
  std::string name;
};

struct ConnectionConfig {
  // The last count line's value, when the section held one.
  std::optional<uint8_t> deviceCount;
  // Every port line of a real channel, in file order (a channel named twice
  // appears twice; the last one wins where a single name is kept).
  std::vector<ConfigPort> ports;
};

// The lines of the file as read, without line ends.
ConnectionConfig ParseConnectionConfig(const std::vector<std::string>& lines);

// The value 0..9 of the first decimal digit at or after the line's 6th
// character (counting from 1); 0 when there is none or the line is shorter.
uint8_t ParseDigitAfter6(std::string_view line);
