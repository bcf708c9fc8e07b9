// make_firmware: wraps a firmware body into a programmer firmware image.
//   make_firmware BODY_FILE VERSION IMAGE_FILE [FIRMWARE_END]
// VERSION is the text the units compare with their own (for example V1.7);
// FIRMWARE_END, decimal or 0x hex, defaults to the body's last address.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "link/firmware.h"
#include "simunit/firmware_builder.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: %s BODY_FILE VERSION IMAGE_FILE [FIRMWARE_END]\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::perror(argv[1]);
    return 1;
  }
  const std::vector<uint8_t> body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (body.size() > kFirmwareBodyLengthMax) {
    std::fprintf(stderr, "%s: body of %zu bytes, at most %u fit an image\n", argv[1], body.size(), kFirmwareBodyLengthMax);
    return 1;
  }
  TFirmwareBuildOptions options;
  if (argc == 5) {
    char* rest = nullptr;
    const unsigned long end = std::strtoul(argv[4], &rest, 0);
    if (*rest != '\0' || end < kFirmwareBaseAddress || end > kFirmwareEndMax) {
      std::fprintf(stderr, "FIRMWARE_END must be %u..%u\n", kFirmwareBaseAddress, kFirmwareEndMax);
      return 2;
    }
    options.firmwareEnd = static_cast<uint16_t>(end);
  }
  const std::vector<uint8_t> image = BuildFirmwareImage(body, argv[2], options);
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
