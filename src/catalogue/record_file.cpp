#include "catalogue/record_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "catalogue/chip_catalogue.h"
#include "catalogue/data_file_io.h"
#include "shared/state.h"
#include "toolkit/dialogs.h"
#include "toolkit/format.h"

namespace {
constexpr const char* kOutsideChipText = "地址 0x%0.8x 超出芯片范围，请确认！";
constexpr size_t kReadPieceBytes = 1 << 16;
constexpr size_t kMaxLineBytes = 1 << 16;

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

// The first CR or LF in [from, to), or `to`.
const char* FindLineEnd(const char* from, const char* to) {
  for (; from != to; ++from)
    if (*from == '\n' || *from == '\r') return from;
  return to;
}

// Feeds the lines of a file to `handle`, which returns false to stop.
// A line ends at LF, at CR LF, or at a run of CRs and an LF (a CR LF file
// converted once more gives CR CR LF): each is one line end. A CR that no LF
// follows after its run ends a line by itself, so each CR of such a run ends
// one (the further ones end empty lines). The end is not part of the line.
class LineSplitter {
public:
  template <typename Handle>
  void Run(RegularFileReader& reader, Handle&& handle) {
    std::vector<char> buffer(kReadPieceBytes + kMaxLineBytes);
    size_t have = 0;          // bytes in buffer
    bool discarding = false;  // the rest of an overlong line is dropped
    uint64_t crRun = 0;       // CRs since the last line ended, not yet known to end in an LF
    for (;;) {
      const size_t got = reader.Read(buffer.data() + have, buffer.size() - have);
      const bool atEnd = got == 0;
      const size_t end = have + got;
      size_t start = 0;
      for (;;) {
        if (crRun > 0) {
          while (start < end && buffer[start] == '\r') {
            ++crRun;
            ++start;
          }
          if (start == end && !atEnd) break;  // the run goes on in the next piece
          if (start < end && buffer[start] == '\n') {
            ++start;
          } else {
            for (; crRun > 1; --crRun)
              if (!handle(std::string_view())) return;
          }
          crRun = 0;
        }
        const char* found = FindLineEnd(buffer.data() + start, buffer.data() + end);
        if (found == buffer.data() + end) break;
        const size_t stop = static_cast<size_t>(found - buffer.data());
        if (!discarding && !handle(std::string_view(buffer.data() + start, stop - start))) return;
        discarding = false;
        start = stop + 1;
        if (*found == '\r') crRun = 1;
      }
      if (atEnd) {
        if (start < end && !discarding) handle(std::string_view(buffer.data() + start, end - start));
        return;
      }
      if (discarding) {
        have = 0;
        continue;
      }
      have = end - start;
      if (have >= kMaxLineBytes) {
        // Overlong: parse what fits, skip to the next line end.
        if (!handle(std::string_view(buffer.data() + start, kMaxLineBytes))) return;
        discarding = true;
        have = 0;
        continue;
      }
      std::memmove(buffer.data(), buffer.data() + start, have);
    }
  }
};
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
  LineSplitter().Run(reader, [&](std::string_view line) {
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
