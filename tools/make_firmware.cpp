// make_firmware: wraps a firmware body into a programmer firmware image.
//   make_firmware BODY_FILE VERSION IMAGE_FILE [FIRMWARE_END]
// VERSION is the text the units compare with their own (for example V1.7);
// BODY_FILE holds 1 to 61328 bytes. FIRMWARE_END, decimal or 0x hex, defaults
// to the body's last address.
// Exit status: 0 written, 1 refused (the reason on stderr, nothing written),
// 2 usage.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/data_file_io.h"
#include "link/firmware.h"
#include "simunit/firmware_builder.h"
#include "toolkit/errors.h"

namespace {

// A reason the image cannot be made; main prints it and writes nothing.
struct ImageError {
  std::string text;
};

// A unit's identity text ends its version at a blank or a comma, and the
// program compares the image's 8-byte field with it byte for byte. Any other
// text loads as no version (every unit then counts as current), is cut, or
// never matches (the unit is upgraded again at every search).
void RequireUsableVersion(std::string_view version) {
  if (version.empty() || version[0] != 'V')
    throw ImageError{"VERSION \"" + std::string(version) + "\" does not begin with 'V'"};
  if (version.size() > kFirmwareVersionFieldBytes)
    throw ImageError{"VERSION \"" + std::string(version) + "\" is longer than " +
                     std::to_string(kFirmwareVersionFieldBytes) + " characters"};
  for (const char c : version) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte > '~' || c == ',')
      throw ImageError{"VERSION \"" + std::string(version) +
                       "\" holds a character that is no printable ASCII, a blank or a comma"};
  }
}

// The whole body; a FIFO or a device under its name is refused, never waited on.
std::vector<uint8_t> ReadBody(const std::string& path) {
  const std::string bytes = ReadRegularFile(path, size_t{kFirmwareBodyLengthMax} + 1);
  // An image of header and key bytes alone would be sent to a unit, and
  // logged as a completed upgrade, without a byte of firmware in it.
  if (bytes.empty()) throw ImageError{path + ": body is empty; an image needs at least one byte of firmware"};
  if (bytes.size() > kFirmwareBodyLengthMax)
    throw ImageError{path + ": body larger than the " + std::to_string(kFirmwareBodyLengthMax) +
                     " bytes an image holds"};
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: %s BODY_FILE VERSION IMAGE_FILE [FIRMWARE_END]\n", argv[0]);
    return 2;
  }
  TFirmwareBuildOptions options;
  if (argc == 5) {
    char* rest = nullptr;
    const unsigned long end = std::strtoul(argv[4], &rest, 0);
    if (*argv[4] == '\0' || *rest != '\0' || end < kFirmwareBaseAddress || end > kFirmwareEndMax) {
      std::fprintf(stderr, "FIRMWARE_END must be %u..%u\n", kFirmwareBaseAddress, kFirmwareEndMax);
      return 2;
    }
    options.firmwareEnd = static_cast<uint16_t>(end);
  }
  try {
    RequireUsableVersion(argv[2]);
    const std::vector<uint8_t> image = BuildFirmwareImage(ReadBody(argv[1]), argv[2], options);
    // A failed write leaves whatever the name held before, and no part image.
    WriteWholeFile(argv[3], std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  } catch (const ImageError& e) {
    std::fprintf(stderr, "make_firmware: %s\n", e.text.c_str());
    return 1;
  } catch (const EInOutError& e) {
    std::fprintf(stderr, "make_firmware: %s\n", e.what());
    return 1;
  }
  return 0;
}
