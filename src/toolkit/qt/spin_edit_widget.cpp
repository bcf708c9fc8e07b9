#include "toolkit/qt/spin_edit_widget.h"

#include <QLineEdit>
#include <QSignalBlocker>

TSpinEditWidget::TSpinEditWidget(int32_t minValue, int32_t maxValue, int32_t increment, int32_t value, int maxLength,
                                 QWidget* parent)
    : QAbstractSpinBox(parent), model_(minValue, maxValue, increment, value, maxLength) {
  // Qt's own fix-ups would rewrite a typed text; the model's rules decide.
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setKeyboardTracking(true);
  ShowModelText();
  model_.SetOnChange([this] { ShowModelText(); });
  connect(lineEdit(), &QLineEdit::textEdited, this,
          [this](const QString& text) { model_.SetTypedText(text.toStdString()); });
}

TSpinEditWidget::~TSpinEditWidget() { model_.SetOnChange(nullptr); }

void TSpinEditWidget::ShowModelText() {
  const QString text = QString::fromStdString(model_.Text());
  if (lineEdit()->text() == text) return;
  QSignalBlocker quiet(lineEdit());
  lineEdit()->setText(text);
}

void TSpinEditWidget::stepBy(int steps) { model_.StepBy(steps); }

QValidator::State TSpinEditWidget::validate(QString& input, int&) const {
  const int limit = model_.MaxLength();
  return limit > 0 && input.size() > limit ? QValidator::Invalid : QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled TSpinEditWidget::stepEnabled() const {
  return isEnabled() ? (StepUpEnabled | StepDownEnabled) : StepNone;
}

void TSpinEditWidget::focusOutEvent(QFocusEvent* event) {
  QAbstractSpinBox::focusOutEvent(event);
  model_.ApplyRange();
}
