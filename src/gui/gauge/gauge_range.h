#pragma once
// The gauge's value rules: MinValue <= Progress <= MaxValue, and which assignment costs a
// repaint. Each setter returns true when the gauge has to be redrawn.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace rk5 {

// The invalid-operation error a gauge raises for a range that would be empty.
class InvalidOperation : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// "Value must be between %d and %d"; the bounds are 64-bit so that MinValue + 1 and
// MaxValue - 1 at the 32-bit extremes are printed as numbers rather than wrapped.
std::string ValueRangeMessage(int64_t low, int64_t high);

class GaugeRange {
 public:
  int32_t MinValue() const { return min_; }
  int32_t MaxValue() const { return max_; }
  int32_t Progress() const { return progress_; }
  int64_t PercentDone() const;

  // Clamps to the range; repaints only when the whole-number percentage changes.
  bool SetProgress(int32_t value);
  // Throw InvalidOperation for an empty range unless the gauge is being loaded from its
  // window's design; nothing changes then.
  bool SetMaxValue(int32_t value, bool loading);
  bool SetMinValue(int32_t value, bool loading);

 private:
  int32_t min_ = 0;
  int32_t max_ = 100;
  int32_t progress_ = 0;
};

}  // namespace rk5
