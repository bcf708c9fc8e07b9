#include "toolkit/gauge.h"

#include <algorithm>

int TGauge::PercentDone() const {
  return static_cast<int>(static_cast<int64_t>(progress_) * 100 / maxValue_);
}

void TGauge::SetMaxValue(int32_t value) {
  maxValue_ = std::max<int32_t>(value, 1);
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
