#pragma once
// The gauge's arithmetic. Percentages and bar sizes follow extended (80-bit, 64-bit
// mantissa) floating point truncated toward zero; the rounding is done here in integers,
// so every compiler and CPU gives the same bar widths (265 at 20 percent gives 52).
#include <cstdint>

namespace rk5 {

// 0 when range is 0, otherwise trunc(value * 100.0 / range). Callers pass differences of
// 32-bit values (at most 2^33 in magnitude), for which this is exactly the integer
// quotient (value * 100) div range.
int64_t PercentOfRange(int64_t value, int64_t range);

// PercentOfRange(progress - min, max - min), the differences taken in 64 bits so that the
// 32-bit extremes cannot overflow.
int64_t PercentDone(int32_t progress, int32_t min_value, int32_t max_value);

// trunc(size * (percent * 0.01)), where 0.01 is the extended value nearest to one
// hundredth (slightly below it) and each product is rounded to extended precision,
// nearest with ties to even.
int64_t SizeForPercent(int32_t percent, int32_t size);

// The 64-bit mantissa of that constant: 0.01 == kHundredthMantissa * 2^-70.
inline constexpr uint64_t kHundredthMantissa = 11805916207174113034ull;
inline constexpr int kHundredthExponent = -70;

}  // namespace rk5
