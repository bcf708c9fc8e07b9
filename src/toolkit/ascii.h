#pragma once
// ASCII case for keys, switches and names the program compares: only 'a'..'z'
// change; bytes of other scripts (UTF-8 included) stay as they are.

#include <string>
#include <string_view>

std::string UpperAscii(std::string_view text);
