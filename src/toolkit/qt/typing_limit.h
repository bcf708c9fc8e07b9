#pragma once
// Limits on what a person types into a line edit, never on a text the program
// sets (QLineEdit::setMaxLength would cut both). Installs a validator owned by
// the edit.

class QLineEdit;

enum class TypedLetters { AsTyped, UpperCase };

// At most maxLength characters typed (0: no limit); with UpperCase, letters
// a..z become A..Z as they are typed.
void LimitTyping(QLineEdit* edit, int maxLength, TypedLetters letters = TypedLetters::AsTyped);
