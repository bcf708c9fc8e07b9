#pragma once
// The text of an edit control as the window toolkit keeps it. GUI thread.

#include <string_view>

class QLineEdit;

// Sets the edit's text from UTF-8, ended at its first character of code 0 as
// a zero-terminated string ends, so that a zero-padded name shows, compares
// and logs as the name alone. The edit raises its change event (textChanged)
// only when the text it then holds differs from the one it held.
void SetEditText(QLineEdit& edit, std::string_view text);
