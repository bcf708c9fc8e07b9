#include "toolkit/qt/typing_limit.h"

#include <QLineEdit>
#include <QValidator>

namespace {

// Qt validates typed and pasted input only; setText() passes untested.
class TypingValidator : public QValidator {
 public:
  TypingValidator(int maxLength, TypedLetters letters, QObject* parent)
      : QValidator(parent), maxLength_(maxLength), letters_(letters) {}

  State validate(QString& input, int&) const override {
    if (letters_ == TypedLetters::UpperCase)
      for (QChar& c : input)
        if (c >= QChar('a') && c <= QChar('z')) c = QChar(c.unicode() - 'a' + 'A');
    return maxLength_ > 0 && input.size() > maxLength_ ? Invalid : Acceptable;
  }

 private:
  int maxLength_;
  TypedLetters letters_;
};

}  // namespace

void LimitTyping(QLineEdit* edit, int maxLength, TypedLetters letters) {
  edit->setValidator(new TypingValidator(maxLength, letters, edit));
}
