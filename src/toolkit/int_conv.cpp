#include "toolkit/int_conv.h"

#include "toolkit/errors.h"
#include "toolkit/format.h"

namespace {

[[noreturn]] void Fail(std::string_view text) {
  throw EConvertError(Format("'%s' is not a valid integer value", {text}));
}

// Parses into a magnitude no larger than `limit`; `hexLimit` bounds hex input.
int64_t Parse(std::string_view text, uint64_t decimalPositiveLimit, uint64_t hexLimit, unsigned bits) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) Fail(text);
  uint64_t value = 0;
  const uint64_t limit = hex ? hexLimit : decimalPositiveLimit + (negative ? 1 : 0);
  for (; i < text.size(); ++i) {
    char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else Fail(text);
    unsigned base = hex ? 16 : 10;
    if (value > (limit - digit) / base) Fail(text);
    value = value * base + digit;
  }
  // Reinterpret the magnitude in the result's width so hex uses every bit.
  uint64_t mask = bits == 64 ? ~uint64_t{0} : ((uint64_t{1} << bits) - 1);
  uint64_t pattern = (negative ? (0 - value) : value) & mask;
  if (bits == 32) return static_cast<int32_t>(static_cast<uint32_t>(pattern));
  return static_cast<int64_t>(pattern);
}

}  // namespace

int32_t StrToInt(std::string_view text) {
  return static_cast<int32_t>(Parse(text, INT32_MAX, UINT32_MAX, 32));
}

int64_t StrToInt64(std::string_view text) {
  return Parse(text, INT64_MAX, UINT64_MAX, 64);
}
