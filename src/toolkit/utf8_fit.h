#pragma once
// UTF-8 texts in fields of a fixed width (the data file name of a project and
// of the off-line information): a text too long for its field is cut at the
// last whole character that fits, so it never reads back ending in half a
// character (shown as U+FFFD).

#include <cstddef>
#include <string_view>

// How many of the first bytes of `text` go into a field of `fieldBytes`:
// all of them when the text fits; otherwise `fieldBytes`, less the bytes of a
// UTF-8 character that the field's end would cut (a lead byte and its
// continuation bytes, 2 to 4 bytes in all, of which fewer than all fit).
// Bytes that do not form such a character (text that is no UTF-8) are cut
// where the field ends, each byte counted as one.
size_t FittingUtf8Bytes(std::string_view text, size_t fieldBytes);
