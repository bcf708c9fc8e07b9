#pragma once
// Paints a TGauge: a bar in the gauge's fore colour over the window colour,
// with the percentage centred on it. The widget observes its own model.

#include <QWidget>

#include "toolkit/gauge.h"

class TGaugeWidget : public QWidget {
  Q_OBJECT
public:
  explicit TGaugeWidget(QWidget* parent = nullptr);
  ~TGaugeWidget() override;
  TGauge& Model() { return model_; }
  const TGauge& Model() const { return model_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  TGauge model_;
};
