#include "support/unusable_firmware.h"

#include <cstdio>
#include <random>

namespace {

constexpr size_t kCutBytes = 2000;
constexpr size_t kRandomBytes = 5000;
constexpr size_t kChecksumBytes = 4;
constexpr size_t kTrailerBytes = 876;

uint32_t StoredChecksum(const std::vector<uint8_t>& image) {
  const size_t at = image.size() - kChecksumBytes;
  return image[at] | image[at + 1] << 8 | image[at + 2] << 16 | static_cast<uint32_t>(image[at + 3]) << 24;
}

uint32_t SumBeforeChecksum(const std::vector<uint8_t>& image) {
  uint32_t sum = 0;
  for (size_t i = 0; i + kChecksumBytes < image.size(); ++i) sum += image[i];
  return sum;
}

std::string Text(const char* format, unsigned long a, unsigned long b) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

std::vector<UnusableFirmwareCase> UnusableFirmwareImages(const std::vector<uint8_t>& good) {
  std::vector<uint8_t> random(kRandomBytes);
  std::mt19937 draw(33);
  for (uint8_t& byte : random) byte = static_cast<uint8_t>(draw());
  std::vector<uint8_t> badSum = good;
  badSum[badSum.size() - kChecksumBytes - kTrailerBytes / 2] ^= 0x10;
  return {
      {"empty file", {}, "empty file"},
      {"random bytes", random, "no firmware image (wrong magic)"},
      {"cut to 2,000 bytes", std::vector<uint8_t>(good.begin(), good.begin() + kCutBytes),
       Text("cut short (%lu of %lu bytes)", kCutBytes, good.size())},
      {"good magic, bad sum", badSum,
       Text("checksum mismatch (stored 0x%08lX, computed 0x%08lX)", StoredChecksum(badSum), SumBeforeChecksum(badSum))},
  };
}

std::string UnusableFirmwareBoxText(const std::string& path, const std::string& reason) {
  return "文件\"" + path + "\"无法使用：" + reason + "，请确认！";
}

std::string UnusableFirmwareLogText(const std::string& path, const std::string& reason) {
  return "File of \"" + path + "\" not Usable: " + reason + "!";
}
