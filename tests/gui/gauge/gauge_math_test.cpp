#include "gui/gauge/gauge_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace rk5 {
namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr bool kHardwareExtended = std::numeric_limits<long double>::digits == 64;

// The same formula on the x87 unit, where long double is the 80-bit format.
int64_t HardwareSize(int32_t percent, int32_t size) {
  const long double share = static_cast<long double>(percent) * 0.01L;
  return static_cast<int64_t>(std::trunc(static_cast<long double>(size) * share));
}

int64_t HardwarePercent(int64_t value, int64_t range) {
  if (range == 0) return 0;
  return static_cast<int64_t>(
      std::trunc(static_cast<long double>(value) * 100.0L / static_cast<long double>(range)));
}

TEST(SizeForPercent, KnownBarWidths) {
  EXPECT_EQ(SizeForPercent(20, 265), 52);  // one less than 265 * 20 div 100
  EXPECT_EQ(SizeForPercent(50, 264), 132);
  EXPECT_EQ(SizeForPercent(1, 264), 2);
  EXPECT_EQ(SizeForPercent(100, 264), 264);
  EXPECT_EQ(SizeForPercent(0, 264), 0);
  EXPECT_EQ(SizeForPercent(100, 100), 100);  // 100 times the constant rounds to exactly 1
  EXPECT_EQ(SizeForPercent(100, 265), 265);
  EXPECT_EQ(SizeForPercent(-20, 265), -52);
  EXPECT_EQ(SizeForPercent(20, -265), -52);
}

TEST(SizeForPercent, GaugeWidth264IsTheIntegerShareForEveryPercent) {
  for (int percent = 0; percent <= 100; ++percent) {
    EXPECT_EQ(SizeForPercent(percent, 264), 264 * percent / 100) << percent;
  }
}

TEST(SizeForPercent, ConstantIsTheExtendedValueNearestAHundredth) {
  // 2^70 / 100 = m + 0.24: m lies below a hundredth and is the nearest 64-bit mantissa.
  const Wide scaled = Wide{1} << 70;
  const Wide hundred_m = Wide{kHundredthMantissa} * 100;
  EXPECT_GE(kHundredthMantissa, uint64_t{1} << 63);
  ASSERT_LT(hundred_m, scaled);
  EXPECT_EQ(static_cast<uint64_t>(scaled - hundred_m), 24u);
  if (!kHardwareExtended) GTEST_SKIP() << "long double is not the 80-bit format here";
  EXPECT_EQ(std::ldexp(static_cast<long double>(kHundredthMantissa), kHundredthExponent), 0.01L);
}

TEST(SizeForPercent, MatchesTheHardwareOverSmallAndLargeOperands) {
  if (!kHardwareExtended) GTEST_SKIP() << "long double is not the 80-bit format here";
  for (int32_t size = -600; size <= 3000; ++size) {
    for (int32_t percent = -120; percent <= 220; ++percent) {
      ASSERT_EQ(SizeForPercent(percent, size), HardwareSize(percent, size))
          << percent << " of " << size;
    }
  }
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  for (int i = 0; i < 200000; ++i) {
    const int32_t percent = any(random), size = any(random);
    ASSERT_EQ(SizeForPercent(percent, size), HardwareSize(percent, size))
        << percent << " of " << size;
  }
  for (int32_t a : {INT32_MIN, INT32_MIN + 1, -1, 1, INT32_MAX - 1, INT32_MAX}) {
    for (int32_t b : {INT32_MIN, -100, 100, INT32_MAX}) {
      EXPECT_EQ(SizeForPercent(a, b), HardwareSize(a, b)) << a << " of " << b;
    }
  }
}

TEST(PercentOfRange, IntegerQuotientTowardZero) {
  EXPECT_EQ(PercentOfRange(5, 0), 0);
  EXPECT_EQ(PercentOfRange(0, 0), 0);
  EXPECT_EQ(PercentOfRange(9, 1000), 0);
  EXPECT_EQ(PercentOfRange(10, 1000), 1);
  EXPECT_EQ(PercentOfRange(999, 1000), 99);
  EXPECT_EQ(PercentOfRange(1000, 1000), 100);
  EXPECT_EQ(PercentOfRange(-1, 300), 0);
  EXPECT_EQ(PercentOfRange(-1, 3), -33);
  EXPECT_EQ(PercentOfRange(-2, 3), -66);
  EXPECT_EQ(PercentOfRange(2, -3), -66);
}

TEST(PercentOfRange, MatchesTheHardwareForDifferencesOf32BitValues) {
  if (!kHardwareExtended) GTEST_SKIP() << "long double is not the 80-bit format here";
  std::mt19937 random(7);
  std::uniform_int_distribution<int64_t> wide(-(int64_t{1} << 32), int64_t{1} << 32);
  for (int i = 0; i < 200000; ++i) {
    const int64_t value = wide(random), range = wide(random);
    ASSERT_EQ(PercentOfRange(value, range), HardwarePercent(value, range))
        << value << " / " << range;
  }
}

TEST(PercentDone, ExtremesOfTheRangeDoNotOverflow) {
  EXPECT_EQ(PercentDone(INT32_MAX, INT32_MIN, INT32_MAX), 100);
  EXPECT_EQ(PercentDone(INT32_MIN, INT32_MIN, INT32_MAX), 0);
  EXPECT_EQ(PercentDone(0, INT32_MIN, INT32_MAX), 50);  // 2^31 of 2^32 - 1, just over half
  EXPECT_EQ(PercentDone(-1, INT32_MIN, INT32_MAX), 49);
  EXPECT_EQ(PercentDone(7, 7, 7), 0);
}

}  // namespace
}  // namespace rk5
