#include "toolkit/gauge.h"

#include <algorithm>

namespace {
// Progress is kept within 0..max, so the result is within 0..scale.
int Scaled(int32_t progress, int32_t max, int scale) {
  if (max <= 0) return 0;
  return static_cast<int>(static_cast<int64_t>(progress) * scale / max);
}
}  // namespace

int TGauge::PercentDone() const { return Scaled(progress_, maxValue_, 100); }

int TGauge::FilledWidth(int width) const { return Scaled(progress_, maxValue_, std::max(width, 0)); }

void TGauge::SetMaxValue(int32_t value) {
  maxValue_ = std::max<int32_t>(value, 0);
  progress_ = std::min(progress_, maxValue_);
  Changed();
}

void TGauge::SetProgress(int32_t value) {
  progress_ = std::clamp<int32_t>(value, 0, maxValue_);
  Changed();
}

void TGauge::SetForeColor(uint32_t color) {
  foreColor_ = color;
  Changed();
}

void TGauge::Changed() {
  if (onChange_) onChange_();
}
