#pragma once
// Builds programmer firmware images ("GenXBEM.FWR") for tests, the simulated
// unit and the make_firmware tool: the exact inverse of the program's loader,
// using its layout and its group scrambling.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

struct TFirmwareBuildOptions {
  // FirmwareEnd in the header. Without it: the body's last address from 4096
  // (4096 for an empty body), at most 36863.
  std::optional<uint16_t> firmwareEnd;
  // Seed of the builder's own generator (never the program's Random), from
  // which the key word, the key table, the unused words and the trailer come.
  uint32_t seed = 1;
};

// The image file for body (at most 61,328 bytes; longer bodies are cut) and
// version (the first 8 bytes are stored, zero-padded). The body is padded with
// zeros to a multiple of 16 before it is scrambled; the checksum is right.
std::vector<uint8_t> BuildFirmwareImage(std::span<const uint8_t> body, std::string_view version,
                                        const TFirmwareBuildOptions& options = {});

