#include "gui/gauge/gauge_range.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace rk5 {
namespace {

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const InvalidOperation& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(GaugeRange, StartsAtZeroOfZeroToHundred) {
  GaugeRange range;
  EXPECT_EQ(range.MinValue(), 0);
  EXPECT_EQ(range.MaxValue(), 100);
  EXPECT_EQ(range.Progress(), 0);
  EXPECT_EQ(range.PercentDone(), 0);
}

TEST(GaugeRange, ProgressIsClampedAndRepaintsOnlyWhenThePercentageMoves) {
  GaugeRange range;
  EXPECT_TRUE(range.SetMaxValue(1000, false));
  EXPECT_FALSE(range.SetProgress(9));  // 0% still
  EXPECT_EQ(range.Progress(), 9);
  EXPECT_TRUE(range.SetProgress(10));  // 1%
  for (int32_t v = 11; v <= 19; ++v) {
    EXPECT_FALSE(range.SetProgress(v)) << v;
    EXPECT_EQ(range.Progress(), v);
  }
  EXPECT_TRUE(range.SetProgress(20));
  EXPECT_FALSE(range.SetProgress(20));  // same value
  EXPECT_TRUE(range.SetProgress(999));
  EXPECT_EQ(range.PercentDone(), 99);
  EXPECT_TRUE(range.SetProgress(5000));
  EXPECT_EQ(range.Progress(), 1000);
  EXPECT_EQ(range.PercentDone(), 100);
  EXPECT_FALSE(range.SetProgress(INT32_MAX));  // clamps to the value it has
  EXPECT_TRUE(range.SetProgress(-5));
  EXPECT_EQ(range.Progress(), 0);
}

TEST(GaugeRange, MaxValueRepaintsUnlessUnchangedAndPullsProgressDown) {
  GaugeRange range;
  range.SetProgress(80);
  EXPECT_FALSE(range.SetMaxValue(100, false));
  EXPECT_TRUE(range.SetMaxValue(50, false));
  EXPECT_EQ(range.Progress(), 50);
  EXPECT_EQ(range.PercentDone(), 100);
  EXPECT_TRUE(range.SetMinValue(60, true));  // skipped check while loading
  EXPECT_EQ(range.Progress(), 60);
}

TEST(GaugeRange, RangeOfZeroIsNoErrorAndShowsZero) {
  GaugeRange range;
  range.SetProgress(40);
  EXPECT_TRUE(range.SetMaxValue(0, false));
  EXPECT_EQ(range.Progress(), 0);
  EXPECT_EQ(range.PercentDone(), 0);
  range.SetProgress(12345);
  EXPECT_EQ(range.Progress(), 0);
  EXPECT_EQ(range.PercentDone(), 0);
}

TEST(GaugeRange, EmptyRangesFailWithTheirBoundsAndChangeNothing) {
  GaugeRange range;
  range.SetProgress(30);
  EXPECT_EQ(MessageOf([&] { range.SetMaxValue(-1, false); }),
            "Value must be between 1 and 2147483647");
  EXPECT_EQ(MessageOf([&] { range.SetMinValue(101, false); }),
            "Value must be between -2147483647 and 99");
  EXPECT_EQ(range.MinValue(), 0);
  EXPECT_EQ(range.MaxValue(), 100);
  EXPECT_EQ(range.Progress(), 30);
  // The same values pass while the gauge is loaded from its design.
  EXPECT_TRUE(range.SetMaxValue(-1, true));
  EXPECT_EQ(range.MaxValue(), -1);
}

TEST(GaugeRange, ThirtyTwoBitExtremes) {
  GaugeRange range;
  EXPECT_TRUE(range.SetMaxValue(INT32_MAX, false));
  EXPECT_TRUE(range.SetMinValue(INT32_MIN, false));
  EXPECT_TRUE(range.SetProgress(INT32_MAX));
  EXPECT_EQ(range.PercentDone(), 100);
  EXPECT_TRUE(range.SetProgress(INT32_MIN));
  EXPECT_EQ(range.PercentDone(), 0);
  // Bounds one past the extremes are printed as numbers, not wrapped.
  GaugeRange top;
  top.SetMaxValue(INT32_MAX, false);
  top.SetMinValue(INT32_MAX, false);
  EXPECT_EQ(MessageOf([&] { top.SetMaxValue(5, false); }),
            "Value must be between 2147483648 and 2147483647");
  GaugeRange bottom;
  bottom.SetMinValue(INT32_MIN, false);
  bottom.SetMaxValue(INT32_MIN, false);
  EXPECT_EQ(MessageOf([&] { bottom.SetMinValue(5, false); }),
            "Value must be between -2147483647 and -2147483649");
}

}  // namespace
}  // namespace rk5
