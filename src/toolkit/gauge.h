#pragma once
// TGauge: the model of a percent gauge, driven by the link's channel progress.
// Rules: MaxValue is at least 0 (a negative one is taken as 0); Progress is
// clamped to 0..MaxValue when set; lowering MaxValue below Progress lowers
// Progress with it. A gauge whose MaxValue is 0 has nothing to show: it is 0 %
// and empty. A view registers one observer, called after every change.
// GUI thread only.

#include <cstdint>
#include <functional>

// Colours as 0xRRGGBB.
inline constexpr uint32_t clBlue = 0x0000FF;
inline constexpr uint32_t clRed = 0xFF0000;
inline constexpr uint32_t clLime = 0x00FF00;
inline constexpr uint32_t clGreen = 0x008000;
inline constexpr uint32_t clNavy = 0x000080;
inline constexpr uint32_t clBlack = 0x000000;

class TGauge {
public:
  int32_t MaxValue() const { return maxValue_; }
  int32_t Progress() const { return progress_; }
  uint32_t ForeColor() const { return foreColor_; }
  // Whole percent done, 0..100; 0 when MaxValue is 0.
  int PercentDone() const;
  // How much of a bar `width` long (in pixels, at least 0) is filled:
  // 0..width, 0 when MaxValue is 0.
  int FilledWidth(int width) const;

  void SetMaxValue(int32_t value);
  void SetProgress(int32_t value);
  void SetForeColor(uint32_t color);
  void AddProgress(int32_t delta) { SetProgress(progress_ + delta); }

  // Replaces the observer; pass nullptr to detach.
  void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

private:
  void Changed();

  int32_t maxValue_ = 100;
  int32_t progress_ = 0;
  uint32_t foreColor_ = clBlack;
  std::function<void()> onChange_;
};
