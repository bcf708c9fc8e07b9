#pragma once
// TSpinEditModel: the model of a numeric spin edit. Its text is what the field
// shows; its value is the integer of that text (the user's integer
// conversion), or MinValue when the text is not a number. The range is applied
// only when the program sets a value, when the field loses the focus
// (ApplyRange) and by the arrows (StepBy): a typed text stays as typed until
// then. MaxLength limits what a person types (0: no limit); the view enforces
// it on typing only, never on a value the program sets. A view registers one
// observer, called after every change of the text that the view did not type.
// GUI thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TSpinEditModel {
 public:
  // `value` is brought into min..max; max below min is raised to min.
  TSpinEditModel(int32_t minValue, int32_t maxValue, int32_t increment, int32_t value, int maxLength = 0);

  int32_t MinValue() const { return min_; }
  int32_t MaxValue() const { return max_; }
  int32_t Increment() const { return increment_; }
  int MaxLength() const { return maxLength_; }

  const std::string& Text() const { return text_; }
  // What the user typed; no range, no observer call.
  void SetTypedText(std::string_view text) { text_ = text; }
  int32_t Value() const;
  // The nearer bound for a value outside the range; the text becomes its decimal.
  void SetValue(int64_t value);
  // The field lost the focus: its value, brought into the range.
  void ApplyRange() { SetValue(Value()); }
  // The arrows: `steps` increments up (negative: down), within the range.
  void StepBy(int steps) { SetValue(static_cast<int64_t>(Value()) + static_cast<int64_t>(steps) * increment_); }

  void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

 private:
  int32_t min_;
  int32_t max_;
  int32_t increment_;
  int maxLength_;
  std::string text_;
  std::function<void()> onChange_;
};
