#include "toolkit/qt/gauge_widget.h"

#include <QPainter>

TGaugeWidget::TGaugeWidget(QWidget* parent) : QWidget(parent) {
  model_.SetOnChange([this] { update(); });
}

TGaugeWidget::~TGaugeWidget() { model_.SetOnChange(nullptr); }

void TGaugeWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect area = rect().adjusted(0, 0, -1, -1);
  p.fillRect(area, palette().color(QPalette::Window));
  const int filled = model_.FilledWidth(area.width());
  uint32_t c = model_.ForeColor();
  QColor fore((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
  p.fillRect(QRect(area.left(), area.top(), filled, area.height()), fore);
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(area);
  p.setPen(Qt::black);
  p.drawText(area, Qt::AlignCenter, QString::number(model_.PercentDone()) + "%");
}
