#include "gui/gauge/gauge_range.h"

#include <cstdint>

#include "gui/gauge/gauge_math.h"

namespace rk5 {

std::string ValueRangeMessage(int64_t low, int64_t high) {
  return "Value must be between " + std::to_string(low) + " and " + std::to_string(high);
}

int64_t GaugeRange::PercentDone() const { return rk5::PercentDone(progress_, min_, max_); }

bool GaugeRange::SetProgress(int32_t value) {
  const int64_t old_percent = PercentDone();
  if (value < min_) {
    value = min_;
  } else if (value > max_) {
    value = max_;
  }
  if (value == progress_) return false;
  progress_ = value;
  return PercentDone() != old_percent;
}

bool GaugeRange::SetMaxValue(int32_t value, bool loading) {
  if (value == max_) return false;
  if (value < min_ && !loading) {
    throw InvalidOperation(ValueRangeMessage(int64_t{min_} + 1, INT32_MAX));
  }
  max_ = value;
  if (value < progress_) progress_ = value;
  return true;
}

bool GaugeRange::SetMinValue(int32_t value, bool loading) {
  if (value == min_) return false;
  if (value > max_ && !loading) {
    throw InvalidOperation(ValueRangeMessage(-int64_t{INT32_MAX}, int64_t{max_} - 1));
  }
  min_ = value;
  if (value > progress_) progress_ = value;
  return true;
}

}  // namespace rk5
