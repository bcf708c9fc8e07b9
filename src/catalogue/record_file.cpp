#include "catalogue/record_file.h"

#include <algorithm>
#include <array>

#include "catalogue/chip_catalogue.h"
#include "catalogue/data_file_io.h"
#include "shared/state.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"
#include "toolkit/line_splitter.h"

namespace {
constexpr const char* kOutsideChipText = "地址 0x%0.8x 超出芯片范围，请确认！";

constexpr uint8_t CharValueOf(uint8_t code) {
  if (code >= 'A' && code <= 'Z') return static_cast<uint8_t>(code - 55);
  if (code >= 'a' && code <= 'z') return static_cast<uint8_t>(code - 87);
  return static_cast<uint8_t>(code - 0x30);
}

// The value of every character, looked up: a 4 MB image is 8 million pairs.
constexpr std::array<uint8_t, 256> kCharValues = [] {
  std::array<uint8_t, 256> values{};
  for (int c = 0; c < 256; ++c) values[c] = CharValueOf(static_cast<uint8_t>(c));
  return values;
}();

uint8_t CharValue(char c) { return kCharValues[static_cast<uint8_t>(c)]; }

bool InRange(uint32_t address, uint32_t first, uint32_t last) { return first <= address && address <= last; }
}  // namespace

uint8_t HexPairToByte(char high, char low) {
  return static_cast<uint8_t>(CharValue(high) * 16 + CharValue(low));
}

bool StoreRecordData(std::string_view line, size_t firstChar, uint32_t address, uint32_t count, uint8_t& check,
                     uint32_t& lowest, uint32_t& highest, uint32_t& sum) {
  if (address < lowest) lowest = address;
  const uint64_t last = uint64_t{address} + count - 1;
  if (last >= highest) highest = static_cast<uint32_t>(std::min<uint64_t>(last, 0xFFFFFFFFu));

  uint8_t* destination;
  uint64_t index;
  size_t room;
  bool eep = false;
  const bool noEep = g.EepStart == kNoEepAddress && g.EepEnd == kNoEepAddress;
  if (InRange(address, g.FlashStart, g.FlashEnd)) {
    destination = g.FlashImage;
    index = address - g.FlashStart;
    room = kFlashImageBytes;
  } else if (!noEep && InRange(address, g.EepStart, g.EepEnd)) {
    destination = g.EepImage;
    index = address - g.EepStart;
    room = kEepImageBytes;
    eep = true;
  } else {
    ShowMessage(Format(kOutsideChipText, {address}));
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t b = HexPairAt(line, firstChar + 2 * size_t{i});
    check = static_cast<uint8_t>(check + b);
    if (index + i < room) {
      destination[index + i] = b;
      sum += b;
      if (eep) g.EepSum += b;
    }
  }
  return true;
}

void ReadRecordFile(const std::string& path, bool skipEmptyLines, std::string_view errorFormat,
                    const RecordLineParser& parse, uint32_t& lowestOut, uint32_t& highestOut) {
  RegularFileReader reader(path);
  uint32_t lowest = 0xFFFFFFFF;
  uint32_t highest = 0;
  uint16_t lineNumber = 0;
  SplitLines([&reader](char* into, size_t count) { return reader.Read(into, count); }, [&](std::string_view line) {
    ++lineNumber;
    if (!line.empty() || !skipEmptyLines) {
      const uint8_t code = parse(line, lowest, highest);
      if (code != kRecordTaken &&
          MessageDlg(Format(errorFormat, {lineNumber, line, code}), MsgDlgType::Error, mbOK | mbAbort) ==
              ModalResult::Abort)
        return false;
    }
    lowestOut = lowest;
    highestOut = highest;
    return true;
  });
}

WriteRange ClampToBuffer(size_t bufferBytes, uint32_t bufferBase, uint32_t start, uint32_t end) {
  WriteRange range;
  if (end < start || bufferBytes == 0) return range;
  const uint64_t bufferLast = uint64_t{bufferBase} + bufferBytes - 1;
  range.first = std::max<uint64_t>(start, bufferBase);
  range.last = std::min<uint64_t>(end, bufferLast);
  return range;
}

void AppendHex(std::string& text, uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text.push_back(kDigits[(value >> shift) & 0xF]);
}
