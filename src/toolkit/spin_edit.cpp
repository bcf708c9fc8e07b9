#include "toolkit/spin_edit.h"

#include <algorithm>

#include "toolkit/errors.h"
#include "toolkit/int_conv.h"

TSpinEditModel::TSpinEditModel(int32_t minValue, int32_t maxValue, int32_t increment, int32_t value, int maxLength)
    : min_(minValue), max_(std::max(minValue, maxValue)), increment_(increment), maxLength_(maxLength) {
  SetValue(value);
}

int32_t TSpinEditModel::Value() const {
  try {
    return StrToInt(text_);
  } catch (const EConvertError&) {
    return min_;
  }
}

void TSpinEditModel::SetValue(int64_t value) {
  text_ = std::to_string(std::clamp<int64_t>(value, min_, max_));
  if (onChange_) onChange_();
}
