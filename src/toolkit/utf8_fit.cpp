#include "toolkit/utf8_fit.h"

#include <cstdint>

namespace {

constexpr size_t kLongestCharacterBytes = 4;

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// The bytes of the character that `lead` starts; 1 for ASCII and for a byte
// that starts no character.
size_t CharacterBytes(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

}  // namespace

size_t FittingUtf8Bytes(std::string_view text, size_t fieldBytes) {
  if (text.size() <= fieldBytes) return text.size();
  // The last character that begins inside the field begins at most three
  // bytes before its end.
  for (size_t back = 1; back < kLongestCharacterBytes && back <= fieldBytes; ++back) {
    const size_t lead = fieldBytes - back;
    const auto b = static_cast<uint8_t>(text[lead]);
    if (IsContinuation(b)) continue;
    const size_t bytes = CharacterBytes(b);
    if (bytes <= back) return fieldBytes;  // it ends inside the field
    if (lead + bytes > text.size()) return fieldBytes;  // the text ends inside it: no whole character
    for (size_t i = 1; i < bytes; ++i)
      if (!IsContinuation(static_cast<uint8_t>(text[lead + i]))) return fieldBytes;
    return lead;
  }
  return fieldBytes;
}
