// What the shortcut routines hand the launcher writer (a recording one here; the real
// writer's files are tested where the main window makes them).
#include "catalogue/shell_links.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rk5 {
namespace {

class RecordingLaunchers : public platform::LauncherFiles {
 public:
  struct Written {
    std::string folder;
    std::string name;
    platform::Launcher launcher;
  };
  std::vector<Written> written;
  bool answer = true;

  bool Write(const std::string& folder, const std::string& name,
             const platform::Launcher& launcher) override {
    written.push_back({folder, name, launcher});
    return answer;
  }
  bool RemoveIfStarting(const std::string&, const std::string&, const std::string&) override {
    return true;  // tool shortcuts never remove one
  }
  std::string FileName(const std::string& name) const override { return name + ".desktop"; }
};

TEST(ShellLinks, ShortcutStartsInTheTargetsFolderWithItsIcon) {
  RecordingLaunchers files;
  const std::string exe = "/home/ann/.local/opt/Rk5/Helper/rk5helper";
  EXPECT_TRUE(CreateShortcut(files, "Rk5 Helper", "/home/ann/Desktop", exe, "",
                             "Download and maintains Rk5 tools."));
  files.answer = false;
  EXPECT_FALSE(CreateShortcut(files, "Bare", "/d", "rk5helper", "/x", ""));
  ASSERT_EQ(files.written.size(), 2u);
  const auto& [folder, name, launcher] = files.written[0];
  EXPECT_EQ(folder, "/home/ann/Desktop");
  EXPECT_EQ(name, "Rk5 Helper");
  EXPECT_EQ(launcher.target, exe);
  EXPECT_EQ(launcher.arguments, "");
  EXPECT_EQ(launcher.working_folder, "/home/ann/.local/opt/Rk5/Helper/");
  EXPECT_EQ(launcher.description, "Download and maintains Rk5 tools.");
  EXPECT_EQ(launcher.icon_file, exe);
  EXPECT_EQ(launcher.icon_index, 0);
  EXPECT_EQ(launcher.hot_key, 0u);
  EXPECT_EQ(launcher.show_state, 0u);
  // A target without a folder starts in none given.
  EXPECT_EQ(files.written[1].launcher.working_folder, "");
  EXPECT_EQ(files.written[1].launcher.arguments, "/x");
}

// Target, folder and arguments reach a real launcher in the main window's tests; here the
// numbers, which a desktop launcher file does not show.
TEST(ShellLinks, ShortcutFromInfoPassesIconIndexHotKeyAndAShowStateTheLauncherKnows) {
  RecordingLaunchers files;
  TLinkInfo info;
  info.Target = "/opt/rk5/rk5helper";
  info.ItemIdList = {1, 2, 3};  // no launcher equivalent
  info.IconIndex = 3;
  info.HotKey = 0x0641;
  std::vector<unsigned> states;
  for (std::uint8_t state : {0, 1, 2, 5}) {
    info.ShowState = state;
    EXPECT_TRUE(CreateShortcutFromInfo(files, "Tool A", "/home/ann/Desktop", info));
    const platform::Launcher& launcher = files.written.back().launcher;
    EXPECT_EQ(launcher.icon_index, 3);
    EXPECT_EQ(launcher.hot_key, 0x0641u);
    states.push_back(launcher.show_state);
  }
  // Minimised and maximised stay; any other state is normal.
  EXPECT_EQ(states, (std::vector<unsigned>{0, 1, 2, 0}));
}

}  // namespace
}  // namespace rk5
