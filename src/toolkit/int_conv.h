#pragma once
// The integer conversion for numbers the user types.
// Accepted: leading blanks, an optional sign ('+' or '-'), then either decimal
// digits or hexadecimal digits after one of the prefixes 0x, 0X, $, x, X.
// Nothing may follow the digits. Decimal values must fit the result type;
// hexadecimal ones may use all its bits (StrToInt("$FFFFFFFF") is -1), as the
// address fields need for values such as 0xFFFFFFF0.
// Anything else throws EConvertError "'<text>' is not a valid integer value".

#include <cstdint>
#include <string_view>

int32_t StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);
