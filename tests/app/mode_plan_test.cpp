#include "app/mode_plan.h"

#include <gtest/gtest.h>

namespace rk5 {
namespace {

TEST(ModePlan, StartupModesCreateOnlyTheStartupWindow) {
  for (const char* mode : {"/run", "/install", "/update"}) {
    ModePlan plan = PlanForMode(mode);
    EXPECT_EQ(plan.windows, std::vector<WindowKind>{WindowKind::Startup}) << mode;
    EXPECT_FALSE(plan.ShowMainWindowAtStart) << mode;
  }
  ModePlan installed = PlanForMode("/installed");
  EXPECT_EQ(installed.windows, std::vector<WindowKind>{WindowKind::Startup});
  EXPECT_TRUE(installed.ShowMainWindowAtStart);
  // Only the modes that show their message (or an error) need the display.
  EXPECT_TRUE(PlanForMode("/install").UsesDisplay);
  EXPECT_TRUE(installed.UsesDisplay);
  EXPECT_FALSE(PlanForMode("/run").UsesDisplay);
  EXPECT_FALSE(PlanForMode("/update").UsesDisplay);
  EXPECT_TRUE(PlanForMode("").UsesDisplay);
  EXPECT_TRUE(PlanForMode("/dl").UsesDisplay);
}

TEST(ModePlan, NoArgumentMakesMainThenAbout) {
  ModePlan plan = PlanForMode("");
  EXPECT_EQ(plan.windows, (std::vector<WindowKind>{WindowKind::Main, WindowKind::About}));
  EXPECT_TRUE(plan.ShowMainWindowAtStart);
}

TEST(ModePlan, DownloadModeMakesOnlyTheDownloadWindow) {
  ModePlan plan = PlanForMode("/dl");
  EXPECT_EQ(plan.windows, std::vector<WindowKind>{WindowKind::Download});
  EXPECT_TRUE(plan.ShowMainWindowAtStart);
}

TEST(ModePlan, ModesAreCaseSensitiveAndExact) {
  for (const char* mode : {"/DL", "/Run", "/INSTALL", "/installed ", " /run", "dl", "/", "x"}) {
    EXPECT_TRUE(PlanForMode(mode).windows.empty()) << mode;
  }
}

}  // namespace
}  // namespace rk5
