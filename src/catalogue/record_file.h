#pragma once
// What the Intel HEX and S-record formats share: the result codes of a parsed
// line, the two-character hex decoder, the storing of a data record into the
// image buffers, the line-by-line reading loop with its OK / Abort box, and
// the text building and writing of the writers. GUI thread only (message
// boxes and the shared state).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Result codes of a parsed record line, shared by both formats.
inline constexpr uint8_t kRecordTaken = 0;
inline constexpr uint8_t kRecordBadStart = 1;     // first character not ':' / 'S'
inline constexpr uint8_t kRecordBadType = 2;      // S-record type not 0, 1, 2, 3, 5, 7, 8, 9
inline constexpr uint8_t kRecordBadBase = 3;      // HEX 02 / 04 record with an address field
inline constexpr uint8_t kRecordBadChecksum = 4;  // also a line too short for what it announces
inline constexpr uint8_t kRecordUnknownType = 5;  // HEX type 06 or higher
inline constexpr uint8_t kRecordOutsideChip = 8;  // data outside the flash and EEP ranges

// 'A'..'Z' and 'a'..'z' count from 10, every other character is its code
// minus '0' (modulo 256); nothing is validated, so "G0" is 0x00.
uint8_t HexPairToByte(char high, char low);
inline uint8_t HexPairAt(std::string_view line, size_t at) { return HexPairToByte(line[at], line[at + 1]); }

// The data step of both parsers, for a record of `count` >= 1 data bytes at
// `address` whose first data character is line[firstChar]; the caller has
// made sure that the line holds every data character.
//
// Moves lowest / highest (the last address is taken without 32-bit
// wrap-around and clamped to 0xFFFFFFFF), then tests the first address
// against g.FlashStart..FlashEnd and g.EepStart..EepEnd (both 0xFFFFFFFF: no
// EEP range). Inside a range every data byte is added to `check`; the bytes
// that fall inside FlashImage / EepImage are stored and added to `sum` (and
// to g.EepSum for the EEP image); bytes past the buffer's end are dropped.
// Outside both ranges: the box "地址 0x%0.8x 超出芯片范围，请确认！", nothing
// stored, false.
bool StoreRecordData(std::string_view line, size_t firstChar, uint32_t address, uint32_t count, uint8_t& check,
                     uint32_t& lowest, uint32_t& highest, uint32_t& sum);

// Parses one line (without its line end) against the reader's lowest and
// highest address; returns a result code.
using RecordLineParser = std::function<uint8_t(std::string_view line, uint32_t& lowest, uint32_t& highest)>;

// The reading loop of both formats. Reads `path` line by line, its lines
// ended as SplitLines ends them (toolkit/line_splitter.h: LF, CR LF, CR CR
// LF, a lone CR; a last line without an end counts), numbering every line
// from 1 in 16 bits. Empty lines are skipped when skipEmptyLines, else
// parsed. A code other than 0 shows an error box with errorFormat (line
// number, text, code) and the buttons OK and Abort; Abort ends the reading at
// once. After every line that did not end in Abort, the reader's lowest /
// highest address (0xFFFFFFFF / 0 at the start) are copied into lowestOut /
// highestOut.
//
// Only a regular file is read (a FIFO never blocks the GUI thread). A file
// that cannot be opened or read, or is no regular file, throws EInOutError.
// A line longer than 64 KB is cut there; no valid record comes near it.
void ReadRecordFile(const std::string& path, bool skipEmptyLines, std::string_view errorFormat,
                    const RecordLineParser& parse, uint32_t& lowestOut, uint32_t& highestOut);

// The addresses first..last of a writer's range whose byte lies inside its
// buffer (buffer[a - bufferBase], bufferBytes long); empty when none does.
struct WriteRange {
  uint64_t first = 1;
  uint64_t last = 0;
  bool Empty() const { return last < first; }
};
WriteRange ClampToBuffer(size_t bufferBytes, uint32_t bufferBase, uint32_t start, uint32_t end);

// Appends `value` as `digits` upper-case hex digits (the low ones).
void AppendHex(std::string& text, uint32_t value, int digits);

