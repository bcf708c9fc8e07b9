#pragma once
// Format: the program's one text formatter. Placeholders:
//   %d, %u    decimal (signed / unsigned)
//   %s        text
//   %x, %X    hexadecimal with upper-case digits
//   %%        a percent sign
// Each may carry flags '-' (left-justify) and '0', a width and a precision:
// for %d %u %x the precision is the minimum number of digits ("%0.4x" of 0xAB is
// "00AB"; a larger value prints all its digits), for %s the most characters.
// A placeholder without a matching argument, or with one of the wrong kind,
// prints what the argument holds as best it can; Format never throws and never
// reads past its arguments.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

class FormatArg {
public:
  enum class Kind { Signed, Unsigned, Text };

  template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::Signed), signed_(v) {}
  template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_signed_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::Unsigned), unsigned_(v) {}
  FormatArg(std::string_view v) : kind_(Kind::Text), text_(v) {}
  FormatArg(const std::string& v) : kind_(Kind::Text), text_(v) {}
  FormatArg(const char* v) : kind_(Kind::Text), text_(v ? v : "") {}

  Kind kind() const { return kind_; }
  int64_t AsSigned() const;
  uint64_t AsUnsigned() const;
  std::string_view AsText() const { return text_; }

private:
  Kind kind_;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
  std::string_view text_;
};

std::string Format(std::string_view format, std::initializer_list<FormatArg> args = {});
