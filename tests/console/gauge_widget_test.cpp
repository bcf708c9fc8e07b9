// The gauge as painted: a bar in the fore colour as long as the progress.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "toolkit/qt/gauge_widget.h"

namespace {

constexpr int kWidthPx = 201;
constexpr int kHeightPx = 17;

// How many pixels of the middle row carry the fore colour.
int ForePixelsInMiddleRow(TGaugeWidget& widget) {
  const QImage image = widget.grab().toImage();
  const uint32_t c = widget.Model().ForeColor();
  const QColor fore((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
  int count = 0;
  for (int x = 0; x < image.width(); ++x)
    if (image.pixelColor(x, image.height() / 2) == fore) ++count;
  return count;
}

TEST(GaugeWidget, ZeroMaximumPaintsAnEmptyBarAtZeroPercent) {
  TGaugeWidget widget;
  widget.resize(kWidthPx, kHeightPx);
  widget.Model().SetForeColor(clBlue);
  widget.Model().SetMaxValue(10);
  widget.Model().SetProgress(10);
  EXPECT_GT(ForePixelsInMiddleRow(widget), kWidthPx / 2);  // full, the percentage text aside
  widget.Model().SetMaxValue(0);
  widget.Model().SetProgress(widget.Model().MaxValue());
  EXPECT_EQ(widget.Model().PercentDone(), 0);
  EXPECT_EQ(ForePixelsInMiddleRow(widget), 0);
}

}  // namespace
