#include "ini/file_registry.h"

#include <gtest/gtest.h>

#include "platform/user_folders.h"
#include "support/event_wait.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

using platform::RegistryError;
using platform::RegistryRoot;

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(Registry, KeysAreSectionsAndValuesAreLines) {
  TempDir dir;
  auto registry = RegistryInFile(dir.file("sub/registry.ini").string());
  auto key = registry->OpenKey(RegistryRoot::LocalMachine, "\\SOFTWARE\\Rk5Helper\\");
  ASSERT_NE(key, nullptr);
  EXPECT_FALSE(key->ValueExists("Path"));
  EXPECT_EQ(key->ReadString("Path"), "");
  key->WriteString("Path", "/opt/Rk5/Helper/");
  EXPECT_TRUE(key->ValueExists("path"));
  EXPECT_EQ(ReadFileBytes(dir.file("sub/registry.ini")),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\r\nPath=/opt/Rk5/Helper/\r\n");

  // Keys match without regard to letter case, like the registry's.
  auto again = RegistryInFile(dir.file("sub/registry.ini").string())
                   ->OpenKey(RegistryRoot::LocalMachine, "software\\rk5helper");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ReadString("PATH"), "/opt/Rk5/Helper/");
  auto user = registry->OpenKey(RegistryRoot::CurrentUser, "\\SOFTWARE\\Rk5Helper\\");
  ASSERT_NE(user, nullptr);
  EXPECT_FALSE(user->ValueExists("Path"));
}

TEST(Registry, WellKnownFoldersAnswerFromTheSystemUnlessStored) {
  TempDir dir;
  auto registry = RegistryInFile(dir.file("r.ini").string());
  auto windows = registry->OpenKey(RegistryRoot::LocalMachine,
                                   "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\");
  auto shell = registry->OpenKey(
      RegistryRoot::CurrentUser,
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  ASSERT_TRUE(windows && shell);
  EXPECT_TRUE(windows->ValueExists("ProgramFilesDir"));
  EXPECT_EQ(windows->ReadString("ProgramFilesDir"), platform::ProgramFilesFolder());
  EXPECT_EQ(shell->ReadString("Desktop"), platform::DesktopFolder());
  {
    test::EnvOverride data("XDG_DATA_HOME", dir.folder() + "data");
    EXPECT_EQ(shell->ReadString("programs"), dir.folder() + "data/applications");
  }
  EXPECT_FALSE(windows->ValueExists("Desktop"));
  EXPECT_FALSE(windows->ValueExists("Programs"));
  windows->WriteString("ProgramFilesDir", dir.folder() + "pf");
  EXPECT_EQ(windows->ReadString("ProgramFilesDir"), dir.folder() + "pf");
}

TEST(Registry, AFailedWriteRaisesTheLayersError) {
  TempDir dir;
  WriteFileBytes(dir.file("r.ini"), "[HKEY_CURRENT_USER\\K]\n");
  auto key = RegistryInFile(dir.file("r.ini").string())->OpenKey(RegistryRoot::CurrentUser, "K");
  ASSERT_NE(key, nullptr);
  std::filesystem::remove(dir.file("r.ini"));
  std::filesystem::create_directory(dir.file("r.ini"));  // the file's name is now a folder
  try {
    key->WriteString("Path", "x");
    FAIL() << "no error raised";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'Path'");
  }
  // A key that can be neither opened nor created gives no key.
  EXPECT_EQ(RegistryInFile(dir.file("r.ini").string())->OpenKey(RegistryRoot::CurrentUser, "New"),
            nullptr);
}

TEST(Registry, ReadsAJunkFileAndKeepsItsLines) {
  TempDir dir;
  std::string junk = std::string("\x7f\0", 2) + "garbage\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=/a/\n";
  WriteFileBytes(dir.file("r.ini"), junk);
  auto key = RegistryInFile(dir.file("r.ini").string())
                 ->OpenKey(RegistryRoot::LocalMachine, "\\SOFTWARE\\Rk5Helper\\");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadString("Path"), "/a/");
  key->WriteString("Other", "1");
  EXPECT_EQ(ReadFileBytes(dir.file("r.ini")), junk + "Other=1\n");
}

}  // namespace
}  // namespace rk5
