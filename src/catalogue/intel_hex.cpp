#include "catalogue/intel_hex.h"

#include <algorithm>

#include "catalogue/data_file_io.h"

namespace {
constexpr const char* kLineErrorFormat = "Line %d : %s, Error=%d.";
constexpr const char* kEndOfFileRecord = ":00000001FF\r\n";

constexpr uint8_t kTypeData = 0x00;
constexpr uint8_t kTypeEndOfFile = 0x01;
constexpr uint8_t kTypeSegmentBase = 0x02;
constexpr uint8_t kTypeStartSegment = 0x03;
constexpr uint8_t kTypeUpperBase = 0x04;
constexpr uint8_t kTypeStartLinear = 0x05;

constexpr size_t kHeaderChars = 9;     // ':' and length, address, type
constexpr size_t kBaseRecordChars = 15; // header, two value bytes, checksum
constexpr uint32_t kShortFormLastAddress = 0xFFFF;
constexpr size_t kShortRecordBytes = 16;
constexpr size_t kLongRecordBytes = 32;

uint8_t ParseBaseRecord(std::string_view line, uint16_t offset, uint8_t check, uint32_t& base, uint32_t scale) {
  if (offset != 0) return kRecordBadBase;
  if (line.size() < kBaseRecordChars) return kRecordBadChecksum;
  const uint8_t b1 = HexPairAt(line, 9);
  const uint8_t b2 = HexPairAt(line, 11);
  base = (uint32_t{b1} * 256 + b2) * scale;
  check = static_cast<uint8_t>(check + b1 + b2 + HexPairAt(line, 13));
  return check == 0 ? kRecordTaken : kRecordBadChecksum;
}

// One record line: ':', length, 16-bit address, type, data, checksum, CR LF.
void AppendRecord(std::string& text, uint8_t type, uint16_t address, const uint8_t* data, size_t length) {
  text.push_back(':');
  uint8_t check = static_cast<uint8_t>(length + (address >> 8) + address + type);
  AppendHex(text, static_cast<uint32_t>(length), 2);
  AppendHex(text, address, 4);
  AppendHex(text, type, 2);
  for (size_t i = 0; i < length; ++i) {
    AppendHex(text, data[i], 2);
    check = static_cast<uint8_t>(check + data[i]);
  }
  AppendHex(text, static_cast<uint8_t>(-check), 2);
  text += "\r\n";
}

void AppendUpperBase(std::string& text, uint16_t upper) {
  const uint8_t value[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
  AppendRecord(text, kTypeUpperBase, 0, value, 2);
}
}  // namespace

uint8_t ParseHexLine(std::string_view line, uint32_t& upperBase, uint32_t& segmentBase, uint32_t& lowest,
                     uint32_t& highest, uint32_t& sum) {
  if (line.empty() || line[0] != ':') return kRecordBadStart;
  if (line.size() < kHeaderChars) return kRecordBadChecksum;
  const uint8_t length = HexPairAt(line, 1);
  const uint8_t high = HexPairAt(line, 3);
  const uint8_t low = HexPairAt(line, 5);
  const uint8_t type = HexPairAt(line, 7);
  const auto offset = static_cast<uint16_t>(high * 256 + low);
  uint8_t check = static_cast<uint8_t>(length + high + low + type);
  if (length == 0) return kRecordTaken;
  switch (type) {
    case kTypeSegmentBase:
      return ParseBaseRecord(line, offset, check, segmentBase, 16);
    case kTypeUpperBase:
      return ParseBaseRecord(line, offset, check, upperBase, 65536);
    case kTypeEndOfFile:
    case kTypeStartSegment:
    case kTypeStartLinear:
      return kRecordTaken;
    case kTypeData:
      break;
    default:
      return kRecordUnknownType;
  }
  if (line.size() < kHeaderChars + 2 * size_t{length} + 2) return kRecordBadChecksum;
  const uint32_t address = upperBase + segmentBase + offset;
  if (!StoreRecordData(line, kHeaderChars, address, length, check, lowest, highest, sum)) return kRecordOutsideChip;
  check = static_cast<uint8_t>(check + HexPairAt(line, kHeaderChars + 2 * size_t{length}));
  return check == 0 ? kRecordTaken : kRecordBadChecksum;
}

void LoadHexFile(const std::string& path, uint32_t& lowest, uint32_t& highest, uint32_t& sum) {
  uint32_t upperBase = 0;
  uint32_t segmentBase = 0;
  ReadRecordFile(
      path, true, kLineErrorFormat,
      [&](std::string_view line, uint32_t& low, uint32_t& high) {
        return ParseHexLine(line, upperBase, segmentBase, low, high, sum);
      },
      lowest, highest);
}

void WriteHexFile(const std::string& path, const uint8_t* buffer, size_t bufferBytes, uint32_t bufferBase,
                  uint32_t start, uint32_t end) {
  const WriteRange range = ClampToBuffer(bufferBytes, bufferBase, start, end);
  std::string text;
  if (!range.Empty()) text.reserve((range.last - range.first + 1) * 2 + (range.last - range.first) / 2 + 64);
  const bool longForm = end > kShortFormLastAddress;
  const size_t recordBytes = longForm ? kLongRecordBytes : kShortRecordBytes;
  uint16_t upper = static_cast<uint16_t>((range.Empty() ? start : range.first) >> 16);
  if (longForm) AppendUpperBase(text, upper);
  uint64_t address = range.first;
  while (address <= range.last) {
    // One record: up to recordBytes, never past a 64 KB boundary.
    const uint64_t boundaryLast = address | 0xFFFF;
    const uint64_t last = std::min({range.last, address + recordBytes - 1, longForm ? boundaryLast : range.last});
    const size_t length = static_cast<size_t>(last - address + 1);
    AppendRecord(text, kTypeData, static_cast<uint16_t>(address), buffer + (address - bufferBase), length);
    if (longForm && last == boundaryLast) AppendUpperBase(text, ++upper);
    address = last + 1;
  }
  text += kEndOfFileRecord;
  WriteWholeFile(path, text);
}
