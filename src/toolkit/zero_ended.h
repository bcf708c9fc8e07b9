#pragma once
// Texts as the window toolkit holds them: zero-terminated strings. A text
// read from a fixed, zero-padded field (a project's chip and data file names)
// keeps its padding here; wherever the toolkit would show it, it ends at its
// first character of code 0.

#include <string_view>

// The text up to, not including, its first character of code 0; the whole
// text when it holds none. The view points into `text`.
inline std::string_view ZeroEnded(std::string_view text) { return text.substr(0, text.find('\0')); }
