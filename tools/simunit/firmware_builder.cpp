#include "simunit/firmware_builder.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "link/firmware.h"
#include "link/wire.h"
#include "toolkit/le_bytes.h"

namespace {

void PutWord(std::vector<uint8_t>& image, size_t at, uint16_t value) { PutLe16(image.data() + at, value); }

uint16_t DefaultFirmwareEnd(size_t bodyBytes) {
  if (bodyBytes == 0) return kFirmwareBaseAddress;
  return static_cast<uint16_t>(std::min<size_t>(kFirmwareBaseAddress + bodyBytes - 1, kFirmwareEndMax));
}

}  // namespace

std::vector<uint8_t> BuildFirmwareImage(std::span<const uint8_t> body, std::string_view version,
                                        const TFirmwareBuildOptions& options) {
  body = body.first(std::min<size_t>(body.size(), kFirmwareBodyLengthMax));
  const uint16_t bodyLength = static_cast<uint16_t>(body.size());
  std::vector<uint8_t> image(FirmwareFileBytes(bodyLength), 0);
  std::mt19937 draw(options.seed);
  auto randomByte = [&draw] { return static_cast<uint8_t>(draw()); };

  for (size_t i = 0; i < kFirmwareMagicBytes; ++i) image[i] = static_cast<uint8_t>(kFirmwareMagicText[i] ^ kFirmwareMagicMask);
  std::memcpy(image.data() + kFirmwareVersionOffset, version.data(), std::min(version.size(), kFirmwareVersionFieldBytes));

  const uint16_t key = static_cast<uint16_t>(draw());
  PutWord(image, kFirmwareKeyWordOffset, key);
  PutWord(image, kFirmwareEndOffset, options.firmwareEnd.value_or(DefaultFirmwareEnd(body.size())) ^ key);
  PutWord(image, kFirmwareSpareWord1Offset, static_cast<uint16_t>(draw()));
  PutWord(image, kFirmwareSpareWord2Offset, static_cast<uint16_t>(draw()));
  PutWord(image, kFirmwareBodyLengthOffset, bodyLength ^ key);

  uint8_t keyTable[kFirmwareKeyTableBytes] = {0};
  for (size_t i = 0; i < kFirmwareKeyBytes; ++i) keyTable[i] = randomByte();
  std::memcpy(image.data() + kFirmwareKeyOffset, keyTable, kFirmwareKeyBytes);

  uint8_t* scrambled = image.data() + kFirmwareBodyOffset;
  std::copy(body.begin(), body.end(), scrambled);
  const size_t roundedBody = FirmwareFileBytes(bodyLength) - FirmwareFileBytes(0);
  for (uint32_t group = 0; group < roundedBody / 4; ++group) ScrambleFirmwareGroup(scrambled + 4 * group, group, keyTable);

  const size_t trailer = kFirmwareBodyOffset + roundedBody;
  for (size_t i = 0; i < kFirmwareTrailerBytes; ++i) image[trailer + i] = randomByte();

  const size_t checksumAt = trailer + kFirmwareTrailerBytes;
  uint32_t sum = 0;
  for (size_t i = 0; i < checksumAt; ++i) sum += image[i];
  PutLe32(image.data() + checksumAt, sum);
  return image;
}
