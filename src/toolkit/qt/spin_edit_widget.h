#pragma once
// A spin edit over a TSpinEditModel: the text field with its two arrows. The
// widget mirrors the model: what the user types goes into the model as typed
// (at most MaxLength characters), the arrows and the up/down keys step it, and
// losing the focus applies its range. The widget owns its model.

#include <QAbstractSpinBox>

#include "toolkit/spin_edit.h"

class TSpinEditWidget : public QAbstractSpinBox {
  Q_OBJECT
 public:
  TSpinEditWidget(int32_t minValue, int32_t maxValue, int32_t increment, int32_t value, int maxLength = 0,
                  QWidget* parent = nullptr);
  ~TSpinEditWidget() override;
  TSpinEditModel& Model() { return model_; }
  const TSpinEditModel& Model() const { return model_; }

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& position) const override;

 protected:
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void ShowModelText();
  TSpinEditModel model_;
};
