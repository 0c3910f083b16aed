// What unpacking and installing do to the file tree, and the icon of a program, on the
// real system.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "helper_process.h"
#include "platform/atomic_file.h"
#include "platform/file_copy.h"
#include "platform/file_moves.h"
#include "platform/file_tree.h"
#include "platform/icon_extraction.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;

TEST(Win32FileTree, UnpackCopyMoveListAndRemoveATree) {
  const std::string base =
      (fs::temp_directory_path() / ("rk5w-tree-" + std::to_string(::GetCurrentProcessId()))).string();
  auto tree = platform::MakeFileTree();
  auto moves = platform::MakeFileMoves();
  auto copy = platform::MakeFileCopy();
  EXPECT_EQ(platform::PathSeparator(), '\\');

  ASSERT_TRUE(tree->CreateFolders(base + "\\Tool \xce\xa9\\bin"));
  EXPECT_TRUE(tree->FolderExists(base + "\\Tool \xce\xa9"));
  EXPECT_FALSE(tree->LinkBetween(base, base + "\\Tool \xce\xa9\\bin"));
  const std::string exe = base + "\\Tool \xce\xa9\\bin\\tool.exe";
  ASSERT_TRUE(copy->Copy(test::ToolPath(), exe, true));
  EXPECT_TRUE(tree->Exists(exe));
  EXPECT_FALSE(tree->FolderExists(exe));
  EXPECT_TRUE(tree->CanOpenForWriting(exe));
  ASSERT_TRUE(copy->Copy(exe, base, false));  // into a folder: under its own name
  EXPECT_TRUE(tree->Exists(base + "\\tool.exe"));
  EXPECT_FALSE(copy->Copy(base + "\\missing.exe", base + "\\other.exe", false));
  EXPECT_FALSE(tree->Exists(base + "\\other.exe"));

  ASSERT_TRUE(platform::ReplaceFileAtomically(base + "\\Tool \xce\xa9\\readme.txt", "old"));
  ASSERT_TRUE(moves->KeepAside(base + "\\Tool \xce\xa9\\readme.txt", base + "\\readme.old"));
  EXPECT_FALSE(moves->KeepAside(base + "\\tool.exe", base + "\\readme.old"));  // never over one
  ASSERT_TRUE(moves->Move(base + "\\tool.exe", base + "\\Tool \xce\xa9\\readme.txt"));
  EXPECT_EQ(platform::ReadWholeFile(base + "\\readme.old", 10), "old");

  const auto listing = moves->List(base);
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->folders, (std::vector<std::string>{"Tool \xce\xa9", "Tool \xce\xa9/bin"}));
  std::vector<std::string> files = listing->files;
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"Tool \xce\xa9/bin/tool.exe", "Tool \xce\xa9/readme.txt", "readme.old"}));
  EXPECT_FALSE(moves->List(base + "\\missing"));
  EXPECT_FALSE(moves->RemoveEmptyFolder(base + "\\Tool \xce\xa9"));  // not empty

  ::SetFileAttributesW(fs::path(platform::Widen(base + "\\readme.old")).c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(moves->RemoveTree(base));
  EXPECT_FALSE(tree->Exists(base));
  EXPECT_TRUE(moves->RemoveTree(base));  // nothing there: nothing left
}

TEST(Win32IconExtraction, TheFirstIconOfAProgramAsA32PixelPicture) {
  auto icons = platform::MakeIconExtraction();
  ASSERT_TRUE(icons->IsExistingFile(test::ToolPath()));
  const auto picture = icons->FirstIcon(test::ToolPath());
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->width, platform::kIconPictureSize);
  ASSERT_EQ(picture->height, platform::kIconPictureSize);
  ASSERT_EQ(picture->pixels.size(), 32u * 32u);
  // Its top half opaque red, its bottom half clear.
  EXPECT_EQ(picture->pixels[0], 0xffff0000u);
  EXPECT_EQ(picture->pixels[15 * 32 + 31], 0xffff0000u);
  EXPECT_EQ(picture->pixels[16 * 32] >> 24, 0u);
  EXPECT_EQ(picture->pixels[31 * 32 + 31] >> 24, 0u);

  const std::string folder = platform::FolderPart(test::ToolPath());
  EXPECT_FALSE(icons->IsExistingFile(folder));
  EXPECT_FALSE(icons->FirstIcon(folder));
  EXPECT_FALSE(icons->FirstIcon(folder + "missing.exe"));
  EXPECT_FALSE(icons->FirstIcon(folder + "rk5_win32_tests.exe"));  // a program without an icon
}

}  // namespace
}  // namespace rk5
