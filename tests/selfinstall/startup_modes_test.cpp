// The work of the start-up modes on scratch folders: real files, a registry file, and
// recording stand-ins where a program would be started or a launcher shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/update_hand_over.h"
#include "ini/file_registry.h"
#include "selfinstall/copy_file_to.h"
#include "selfinstall/install_mode.h"
#include "selfinstall/mode_work.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

struct Started {
  std::string file, parameters, folder;
  int show = -1;
};

class RecordingStart : public platform::ProgramStart {
 public:
  bool Start(const std::string& file, const std::string& parameters, const std::string& folder,
             int show_command) override {
    started.push_back({file, parameters, folder, show_command});
    return true;
  }
  std::vector<Started> started;
};

class RecordingLaunchers : public platform::LauncherFiles {
 public:
  struct Written {
    std::string folder, name;
    platform::Launcher launcher;
  };
  bool Write(const std::string& folder, const std::string& name,
             const platform::Launcher& launcher) override {
    if (!fs::is_directory(folder)) return false;
    written.push_back({folder, name, launcher});
    return true;
  }
  std::string FileName(const std::string& name) const override { return name + ".desktop"; }
  std::vector<Written> written;
};

// Held for a given number of probes; `probe` runs at each one.
class CountedMarks : public platform::BusyMarks {
 public:
  bool RegisterService(const std::string&) override { return true; }
  Hold TryHold(const std::string&, const std::string&) override { return {}; }
  bool IsHeld(const std::string& service, const std::string& topic) override {
    probes.emplace_back(service + " " + topic);
    if (probe) probe();
    return held_for < 0 || static_cast<int>(probes.size()) <= held_for;
  }
  int held_for = 0;  // negative: for ever
  std::function<void()> probe;
  std::vector<std::string> probes;
};

// A registry whose "Path" cannot be written.
class RefusingRegistry : public platform::Registry {
 public:
  explicit RefusingRegistry(std::unique_ptr<platform::Registry> real) : real_(std::move(real)) {}
  std::unique_ptr<platform::RegistryKey> OpenKey(platform::RegistryRoot root,
                                                 std::string_view path) override {
    class Key : public platform::RegistryKey {
     public:
      explicit Key(std::unique_ptr<platform::RegistryKey> real) : real_(std::move(real)) {}
      bool ValueExists(std::string_view name) const override { return real_->ValueExists(name); }
      std::string ReadString(std::string_view name) const override {
        return real_->ReadString(name);
      }
      void WriteString(std::string_view name, std::string_view) override {
        throw platform::RegistryError(std::string(name));
      }

     private:
      std::unique_ptr<platform::RegistryKey> real_;
    };
    auto key = real_->OpenKey(root, path);
    return key ? std::make_unique<Key>(std::move(key)) : nullptr;
  }

 private:
  std::unique_ptr<platform::Registry> real_;
};

class StartupModes : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "desk");
    // Two full blocks of the old copy routine and a remainder, with every byte value.
    std::string bytes;
    for (int i = 0; i < 2 * 8192 + 300; ++i) bytes += static_cast<char>(i * 7 + i / 256);
    WriteFileBytes(dir_.file("rk5helper-new"), bytes);
    Registry(
        std::string("[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"
                    "\\Shell Folders]\nDesktop=") +
        dir_.folder() + "desk\nPrograms=" + dir_.folder() + "share/applications\n");
  }

  void Registry(const std::string& text) {
    WriteFileBytes(dir_.file("registry.ini"), text);
    registry_ = RegistryInFile(dir_.file("registry.ini").string());
  }
  void SetProgramFiles(const std::string& folder) {
    registry_->OpenKey(platform::RegistryRoot::LocalMachine, platform::kWindowsKey)
        ->WriteString("ProgramFilesDir", folder);
  }
  std::string RecordedPath() {
    auto key = registry_->OpenKey(platform::RegistryRoot::LocalMachine, "\\SOFTWARE\\Rk5Helper\\");
    return key->ValueExists("Path") ? key->ReadString("Path") : "<none>";
  }

  ModeContext Context(platform::Registry* registry = nullptr) {
    return ModeContext{
        {registry ? *registry : *registry_, start_, *copy_, *tree_, launchers_, marks_},
        dir_.folder() + "prog/",
        dir_.file("rk5helper-new").string(),
        argument_,
        [this](const std::string& text) { messages_.push_back(text); },
        [this](const std::string& text) { errors_.push_back(text); }};
  }

  TempDir dir_;
  std::unique_ptr<platform::Registry> registry_;
  std::unique_ptr<platform::FileTree> tree_ = platform::MakeFileTree();
  RecordingStart start_;
  RecordingLaunchers launchers_;
  std::unique_ptr<platform::FileCopy> copy_ = platform::MakeFileCopy();
  CountedMarks marks_;
  std::string argument_;
  std::vector<std::string> messages_, errors_;
};

TEST_F(StartupModes, InstallCopiesFirstThenRecordsTheFolderAndPutsBothLaunchers) {
  const std::string helper = fs::canonical(dir_.path()).string() + "/pf/Rk5/Helper/";
  fs::create_directories(dir_.path() / "prog");
  WriteFileBytes(dir_.file("prog/Settings.ini"), "[Server]\nPublicKey=pinned\n");
  for (const std::string& written : {dir_.folder() + "pf", dir_.folder() + "pf/",
                                     dir_.folder() + "pf//", dir_.folder() + "./pf/./"}) {
    SCOPED_TRACE(written);
    SetProgramFiles(written);
    launchers_.written.clear();
    messages_.clear();
    ModeContext context = Context();
    DoStartupMode("/install", context);

    EXPECT_EQ(RecordedPath(), helper);  // the one name of the folder, with its separator
    EXPECT_TRUE(SameContent(helper + "rk5helper", dir_.file("rk5helper-new").string()));
    EXPECT_EQ(ReadFileBytes(helper + "Settings.ini"), "[Server]\nPublicKey=pinned\n");
    EXPECT_NE(fs::status(helper + "rk5helper").permissions() & fs::perms::owner_exec,
              fs::perms::none);
    ASSERT_EQ(launchers_.written.size(), 2u);
    EXPECT_EQ(launchers_.written[0].folder, dir_.folder() + "desk");
    EXPECT_EQ(launchers_.written[1].folder, dir_.folder() + "share/applications");
    for (const auto& w : launchers_.written) {
      EXPECT_EQ(w.name, "Rk5 Helper");
      EXPECT_EQ(w.launcher.target, helper + "rk5helper");
      EXPECT_EQ(w.launcher.arguments, "");
      EXPECT_EQ(w.launcher.working_folder, helper);
      EXPECT_EQ(w.launcher.description, "Download and maintains Rk5 tools.");
      EXPECT_EQ(w.launcher.icon_file, helper + "rk5helper");
    }
    EXPECT_EQ(messages_, std::vector<std::string>{"Rk5 Helper installed!"});
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(start_.started.empty());  // the installed copy is started by the user
  }
}

TEST_F(StartupModes, InstallRecordsTheFolderAsTheInstalledProgramWillSeeIt) {
  fs::create_directories(dir_.path() / "real");
  fs::create_directory_symlink(dir_.path() / "real", dir_.path() / "link");
  SetProgramFiles(dir_.folder() + "link");
  ModeContext context = Context();
  DoStartupMode("/install", context);
  EXPECT_EQ(RecordedPath(), fs::canonical(dir_.path()).string() + "/real/Rk5/Helper/");
  EXPECT_TRUE(SameContent(dir_.folder() + "real/Rk5/Helper/rk5helper",
                          dir_.file("rk5helper-new").string()));
}

TEST_F(StartupModes, AnInstallThatCannotCopyRecordsNothingAndNamesTheFile) {
  WriteFileBytes(dir_.file("plain"), "x");
  const std::string long_folder = dir_.folder() + std::string(10000, 'p');
  struct Case {
    std::string program_files, executable, target;
  };
  const std::string exe = dir_.file("rk5helper-new").string();
  for (const Case& c :
       {Case{dir_.folder() + "plain", exe, dir_.folder() + "plain/Rk5/Helper/rk5helper"},
        Case{long_folder, exe, long_folder + "/Rk5/Helper/rk5helper"},
        Case{dir_.folder() + "pf", dir_.folder() + "gone",
             dir_.folder() + "pf/Rk5/Helper/rk5helper"}}) {
    SetProgramFiles(c.program_files);
    errors_.clear();
    ModeContext context = Context();
    context.executable = c.executable;
    DoStartupMode("/install", context);
    EXPECT_EQ(errors_, std::vector<std::string>{"Unable to write to " + c.target});
    EXPECT_EQ(RecordedPath(), "<none>");
    EXPECT_TRUE(launchers_.written.empty());
    EXPECT_TRUE(messages_.empty());
  }
  EXPECT_FALSE(fs::exists(dir_.folder() + "pf/Rk5/Helper/rk5helper"));
}

TEST_F(StartupModes, ARegistryThatRefusesThePathIsReportedAndNothingFollows) {
  SetProgramFiles(dir_.folder() + "pf");
  RefusingRegistry refusing(RegistryInFile(dir_.file("registry.ini").string()));
  ModeContext context = Context(&refusing);
  DoStartupMode("/install", context);
  EXPECT_EQ(errors_, std::vector<std::string>{"Failed to set data for 'Path'"});
  EXPECT_TRUE(launchers_.written.empty());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(StartupModes, AMissingDesktopLeavesTheInstallAndTheMenuLauncher) {
  fs::remove(dir_.path() / "desk");
  SetProgramFiles(dir_.folder() + "pf");
  ModeContext context = Context();
  DoStartupMode("/install", context);
  EXPECT_EQ(RecordedPath(), fs::canonical(dir_.path()).string() + "/pf/Rk5/Helper/");
  ASSERT_EQ(launchers_.written.size(), 1u);
  EXPECT_EQ(launchers_.written[0].folder, dir_.folder() + "share/applications");
  EXPECT_FALSE(fs::exists(dir_.path() / "desk"));  // nobody's desktop is made up
  EXPECT_EQ(messages_, std::vector<std::string>{"Rk5 Helper installed!"});
}

TEST(InstallFolders, EmptyAndRelativeFoldersGetOneFullName) {
  EXPECT_EQ(InstallFoldersFor("").base, "/Rk5/");  // the root, as a missing value gives
  EXPECT_EQ(InstallFoldersFor("/").helper, "/Rk5/Helper/");
  EXPECT_EQ(InstallFoldersFor("opt").helper, (fs::current_path() / "opt/Rk5/Helper/").string());
  EXPECT_EQ(InstallFoldersFor("/a/b/../c").base, "/a/c/Rk5/");
}

TEST_F(StartupModes, RunStartsTheRecordedToolInItsFolderAndNothingForAnUnknownSection) {
  fs::create_directories(dir_.path() / "prog");
  WriteFileBytes(dir_.path() / "prog/Local.ini",
                 "[Foo]\r\nPath=/tools/Foo/\r\nExeName=foo tool\r\n[Bare]\r\nName=x\r\n");
  for (const char* section : {"Foo", "foo"}) {
    argument_ = section;
    ModeContext context = Context();
    DoStartupMode("/run", context);
  }
  for (const char* section : {"Bar", "Bare", ""}) {
    argument_ = section;
    ModeContext context = Context();
    DoStartupMode("/run", context);
  }
  ASSERT_EQ(start_.started.size(), 2u);
  for (const Started& s : start_.started) {
    EXPECT_EQ(s.file, "foo tool");
    EXPECT_EQ(s.parameters, "");
    EXPECT_EQ(s.folder, "/tools/Foo/");
    EXPECT_EQ(s.show, 0);
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(StartupModes, UpdateReplacesTheProgramOnlyAfterTheStartingCopyHasEnded) {
  const std::string target = dir_.folder() + "prog/rk5helper";
  fs::create_directories(dir_.path() / "prog");
  WriteFileBytes(target, "old build");
  marks_.held_for = 3;
  bool replaced_early = false;
  marks_.probe = [&] { replaced_early |= ReadFileBytes(target) != "old build"; };
  ModeContext context = Context();
  DoStartupMode("/update", context);

  EXPECT_FALSE(replaced_early);
  EXPECT_EQ(marks_.probes.size(), 4u);
  EXPECT_EQ(marks_.probes.front(), "rk5helper /update");
  EXPECT_TRUE(SameContent(target, dir_.file("rk5helper-new").string()));
  EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_exec, fs::perms::none);
  ASSERT_EQ(start_.started.size(), 1u);
  EXPECT_EQ(start_.started[0].file, "rk5helper");
  EXPECT_EQ(start_.started[0].parameters, "");
  EXPECT_EQ(start_.started[0].folder, dir_.folder() + "prog/");
  EXPECT_EQ(start_.started[0].show, 0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(StartupModes, AnUpdateThatCannotCopyStartsTheOldBuildUntouched) {
  const std::string target = dir_.folder() + "prog/rk5helper";
  fs::create_directories(dir_.path() / "prog");
  WriteFileBytes(target, "old build");
  ModeContext context = Context();
  context.executable = dir_.folder() + "prog/rk5h";  // gone since it was started
  DoStartupMode("/update", context);
  EXPECT_EQ(ReadFileBytes(target), "old build");
  ASSERT_EQ(start_.started.size(), 1u);
  EXPECT_EQ(start_.started[0].file, "rk5helper");
}

TEST(UpdateHandOver, AStuckCopyHoldsTheUpdateOnlyUntilTheLimit) {
  CountedMarks held;
  held.held_for = -1;
  EXPECT_FALSE(WaitForHandOver(held, std::chrono::milliseconds(60)));
  EXPECT_GE(held.probes.size(), 2u);
  CountedMarks free;
  EXPECT_TRUE(WaitForHandOver(free, std::chrono::milliseconds(60)));
  EXPECT_EQ(free.probes.size(), 1u);
}

TEST_F(StartupModes, OnlyTheFourModesLetterForLetterDoAnything) {
  SetProgramFiles(dir_.folder() + "pf");
  for (const char* mode : {"", "/Install", "/INSTALLED", "/dl", "/run ", "/update/"}) {
    ModeContext context = Context();
    DoStartupMode(mode, context);
  }
  EXPECT_TRUE(messages_.empty() && errors_.empty() && start_.started.empty());
  EXPECT_EQ(RecordedPath(), "<none>");
  EXPECT_TRUE(marks_.probes.empty());
  ModeContext context = Context();
  DoStartupMode("/installed", context);
  EXPECT_EQ(messages_, std::vector<std::string>{"Already installed!"});
  EXPECT_EQ(RecordedPath(), "<none>");
}

TEST(CopyFileTo, AFolderAsTargetGetsTheSourcesNameAndAFailedCopyLeavesTheOldFile) {
  TempDir dir;
  auto copy = platform::MakeFileCopy();
  const std::string bytes(2 * 8192, '\x7f');  // two full blocks of the old routine
  WriteFileBytes(dir.file("tool"), bytes);
  fs::create_directories(dir.path() / "into");
  for (const std::string& folder : {dir.folder() + "into", dir.folder() + "into/"}) {
    ASSERT_TRUE(CopyFileTo(*copy, dir.file("tool").string(), folder, /*make_executable=*/false));
    EXPECT_EQ(ReadFileBytes(dir.path() / "into/tool"), bytes);
  }
  WriteFileBytes(dir.file("kept"), "old");
  EXPECT_FALSE(CopyFileTo(*copy, dir.file("missing").string(), dir.file("kept").string(), true));
  EXPECT_FALSE(CopyFileTo(*copy, dir.path().string(), dir.file("kept").string(), true));
  EXPECT_EQ(ReadFileBytes(dir.file("kept")), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(SameContent, ComparesEveryByteAndTheLength) {
  TempDir dir;
  std::string big(3 * 65536, 'a');
  WriteFileBytes(dir.file("a"), big);
  WriteFileBytes(dir.file("b"), big);
  EXPECT_TRUE(SameContent(dir.file("a").string(), dir.file("b").string()));
  WriteFileBytes(dir.file("c"), big + "x");
  EXPECT_FALSE(SameContent(dir.file("a").string(), dir.file("c").string()));
  big[65536 * 2 + 5] = 'b';
  WriteFileBytes(dir.file("d"), big);
  EXPECT_FALSE(SameContent(dir.file("a").string(), dir.file("d").string()));
  EXPECT_FALSE(SameContent(dir.file("a").string(), dir.file("none").string()));
  WriteFileBytes(dir.file("e"), "");
  WriteFileBytes(dir.file("f"), "");
  EXPECT_TRUE(SameContent(dir.file("e").string(), dir.file("f").string()));
}

}  // namespace
}  // namespace rk5
