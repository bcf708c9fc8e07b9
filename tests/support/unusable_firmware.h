#pragma once
// Firmware image files that are there but give no upgrade, as a station met
// them, each with the reason the program gives for it:
//   - an empty file,
//   - random bytes,
//   - a good image cut to 2,000 bytes,
//   - a good image with one trailer byte changed: the magic right, the sum wrong.
// The reasons are written out here, not taken from the program.

#include <cstdint>
#include <string>
#include <vector>

struct UnusableFirmwareCase {
  std::string name;
  std::vector<uint8_t> bytes;
  std::string reason;
};

// The cases made from `good`, a valid image longer than 2,000 bytes.
std::vector<UnusableFirmwareCase> UnusableFirmwareImages(const std::vector<uint8_t>& good);

// The box of start-up and the window log's line (after "> " and the time)
// for an image at path that is not usable for `reason`.
std::string UnusableFirmwareBoxText(const std::string& path, const std::string& reason);
std::string UnusableFirmwareLogText(const std::string& path, const std::string& reason);
