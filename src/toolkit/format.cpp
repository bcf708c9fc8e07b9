#include "toolkit/format.h"

#include <algorithm>
#include <vector>

int64_t FormatArg::AsSigned() const {
  switch (kind_) {
    case Kind::Signed: return signed_;
    case Kind::Unsigned: return static_cast<int64_t>(unsigned_);
    case Kind::Text: return 0;
  }
  return 0;
}

uint64_t FormatArg::AsUnsigned() const {
  switch (kind_) {
    case Kind::Signed: return static_cast<uint64_t>(signed_);
    case Kind::Unsigned: return unsigned_;
    case Kind::Text: return 0;
  }
  return 0;
}

namespace {

struct Placeholder {
  bool leftJustify = false;
  bool zeroPad = false;
  int width = 0;
  int precision = -1;
  char conversion = 0;
};

std::string Digits(uint64_t value, unsigned base) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.push_back(kDigits[value % base]);
    value /= base;
  } while (value != 0);
  std::reverse(out.begin(), out.end());
  return out;
}

std::string Number(const Placeholder& ph, const FormatArg& arg) {
  bool negative = false;
  uint64_t magnitude = 0;
  unsigned base = 10;
  if (ph.conversion == 'x' || ph.conversion == 'X') {
    base = 16;
    // Hex prints the bit pattern of a 32-bit value, as the wire texts expect
    // for negative numbers; wider values print whole.
    if (arg.kind() == FormatArg::Kind::Signed && arg.AsSigned() < 0 && arg.AsSigned() >= INT32_MIN)
      magnitude = static_cast<uint32_t>(arg.AsSigned());
    else
      magnitude = arg.AsUnsigned();
  } else if (ph.conversion == 'u') {
    magnitude = arg.kind() == FormatArg::Kind::Signed && arg.AsSigned() < 0
                    ? static_cast<uint32_t>(arg.AsSigned())
                    : arg.AsUnsigned();
  } else if (arg.kind() == FormatArg::Kind::Signed && arg.AsSigned() < 0) {
    negative = true;
    magnitude = 0 - static_cast<uint64_t>(arg.AsSigned());
  } else {
    magnitude = arg.AsUnsigned();
  }
  std::string digits = Digits(magnitude, base);
  if (ph.precision > 0 && static_cast<int>(digits.size()) < ph.precision)
    digits.insert(0, static_cast<size_t>(ph.precision) - digits.size(), '0');
  if (negative) digits.insert(0, 1, '-');
  return digits;
}

std::string Pad(std::string text, const Placeholder& ph) {
  if (static_cast<int>(text.size()) >= ph.width) return text;
  size_t fill = static_cast<size_t>(ph.width) - text.size();
  if (ph.leftJustify) return text.append(fill, ' ');
  bool zeroes = ph.zeroPad && ph.precision < 0 && ph.conversion != 's';
  if (zeroes) {
    size_t at = (!text.empty() && text[0] == '-') ? 1 : 0;
    return text.insert(at, fill, '0');
  }
  return text.insert(0, fill, ' ');
}

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  const FormatArg* next = args.begin();
  size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t start = i++;
    if (i < format.size() && format[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    Placeholder ph;
    while (i < format.size() && (format[i] == '-' || format[i] == '0')) {
      if (format[i] == '-') ph.leftJustify = true;
      else ph.zeroPad = true;
      ++i;
    }
    while (i < format.size() && format[i] >= '0' && format[i] <= '9' && ph.width < 10000)
      ph.width = ph.width * 10 + (format[i++] - '0');
    if (i < format.size() && format[i] == '.') {
      ++i;
      ph.precision = 0;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9' && ph.precision < 10000)
        ph.precision = ph.precision * 10 + (format[i++] - '0');
    }
    if (i >= format.size()) {
      out.append(format.substr(start));
      break;
    }
    ph.conversion = format[i++];
    switch (ph.conversion) {
      case 'd': case 'u': case 'x': case 'X': {
        FormatArg arg = next != args.end() ? *next++ : FormatArg(0);
        out += Pad(Number(ph, arg), ph);
        break;
      }
      case 's': {
        std::string text;
        if (next != args.end()) {
          const FormatArg& arg = *next++;
          text = arg.kind() == FormatArg::Kind::Text ? std::string(arg.AsText()) : Number({.conversion = 'd'}, arg);
        }
        if (ph.precision >= 0 && static_cast<int>(text.size()) > ph.precision)
          text.resize(static_cast<size_t>(ph.precision));
        out += Pad(std::move(text), ph);
        break;
      }
      default:
        // Not a placeholder this program uses: keep it as written.
        out.append(format.substr(start, i - start));
        break;
    }
  }
  return out;
}
