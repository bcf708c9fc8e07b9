#include "catalogue/srecord.h"

#include <algorithm>

#include "catalogue/data_file_io.h"

namespace {
constexpr const char* kLineErrorFormat = "Line %d : %s,  Error=%d.";
constexpr size_t kRecordBytes = 32;
constexpr size_t kCountChar = 2;
constexpr size_t kAddressChar = 4;

// The data types 1, 2, 3 by their address width.
struct DataType {
  char digit;
  int addressBytes;
  const char* termination;
};
constexpr DataType kS1 = {'1', 2, "S9030000FC\r\n"};
constexpr DataType kS2 = {'2', 3, "S804000000FB\r\n"};
constexpr DataType kS3 = {'3', 4, "S70500000000FA\r\n"};

const DataType& TypeForEnd(uint32_t end) { return end <= 0xFFFF ? kS1 : end <= 0xFFFFFF ? kS2 : kS3; }

void AppendRecord(std::string& text, const DataType& type, uint32_t address, const uint8_t* data, size_t length) {
  const auto count = static_cast<uint8_t>(length + type.addressBytes + 1);
  text.push_back('S');
  text.push_back(type.digit);
  AppendHex(text, count, 2);
  uint8_t check = count;
  for (int i = type.addressBytes - 1; i >= 0; --i) check = static_cast<uint8_t>(check + (address >> (8 * i)));
  AppendHex(text, address, 2 * type.addressBytes);
  for (size_t i = 0; i < length; ++i) {
    AppendHex(text, data[i], 2);
    check = static_cast<uint8_t>(check + data[i]);
  }
  AppendHex(text, static_cast<uint8_t>(~check), 2);
  text += "\r\n";
}
}  // namespace

uint8_t ParseSRecLine(std::string_view line, uint32_t& recordAddress, uint32_t& lowest, uint32_t& highest,
                      uint32_t& sum) {
  if (line.empty() || line[0] != 'S') return kRecordBadStart;
  if (line.size() < 2) return kRecordBadType;
  const auto type = static_cast<uint8_t>(line[1] - 0x30);
  if (type > 9 || type == 4 || type == 6) return kRecordBadType;
  if (type == 0 || type >= 5) return kRecordTaken;

  const size_t addressBytes = size_t{type} + 1;
  if (line.size() < kAddressChar) return kRecordBadChecksum;
  const uint8_t count = HexPairAt(line, kCountChar);
  // At least one data byte, and every announced character present.
  if (count < addressBytes + 2 || line.size() < kAddressChar + 2 * size_t{count}) return kRecordBadChecksum;
  const size_t dataLength = count - addressBytes - 1;
  const size_t firstData = kAddressChar + 2 * addressBytes;

  uint8_t check = count;
  uint32_t address = 0;
  for (size_t i = 0; i < addressBytes; ++i) {
    const uint8_t b = HexPairAt(line, kAddressChar + 2 * i);
    address = (address << 8) | b;
    check = static_cast<uint8_t>(check + b);
  }
  recordAddress = address;
  if (!StoreRecordData(line, firstData, address, static_cast<uint32_t>(dataLength), check, lowest, highest, sum))
    return kRecordOutsideChip;
  check = static_cast<uint8_t>(check + HexPairAt(line, firstData + 2 * dataLength));
  return check == 0xFF ? kRecordTaken : kRecordBadChecksum;
}

void LoadSRecFile(const std::string& path, uint32_t& lowest, uint32_t& highest, uint32_t& sum) {
  uint32_t recordAddress = 0;
  ReadRecordFile(
      path, false, kLineErrorFormat,
      [&](std::string_view line, uint32_t& low, uint32_t& high) {
        return ParseSRecLine(line, recordAddress, low, high, sum);
      },
      lowest, highest);
}

void WriteSRecFile(const std::string& path, const uint8_t* buffer, size_t bufferBytes, uint32_t bufferBase,
                   uint32_t start, uint32_t end) {
  const DataType& type = TypeForEnd(end);
  const uint32_t addressMask = type.addressBytes == 4 ? 0xFFFFFFFFu : (1u << (8 * type.addressBytes)) - 1;
  const WriteRange range = ClampToBuffer(bufferBytes, bufferBase, start, end);
  std::string text;
  if (!range.Empty()) text.reserve((range.last - range.first + 1) * 2 + (range.last - range.first) / 2 + 64);
  for (uint64_t address = range.first; address <= range.last; address += kRecordBytes) {
    const size_t length = static_cast<size_t>(std::min<uint64_t>(kRecordBytes, range.last - address + 1));
    AppendRecord(text, type, static_cast<uint32_t>(address) & addressMask, buffer + (address - bufferBase), length);
  }
  text += type.termination;
  WriteWholeFile(path, text);
}
