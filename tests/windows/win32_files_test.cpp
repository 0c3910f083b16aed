// The file tree that unpacking and installing change, a program's icon and launchers as
// shell links read back through the shell's own link object, on the real system.
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/atomic_file.h"
#include "platform/file_copy.h"
#include "platform/file_moves.h"
#include "platform/file_tree.h"
#include "platform/icon_extraction.h"
#include "platform/launcher_files.h"
#include "platform/win32/com_apartment.h"
#include "win32_test_support.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(Win32FileTree, UnpackCopyMoveListAndRemoveATree) {
  test::Scratch scratch;
  const std::string base = scratch / "tree", tool = base + "\\Tool \xce\xa9", exe = tool + "\\bin\\tool.exe";
  auto tree = platform::MakeFileTree();
  auto moves = platform::MakeFileMoves();
  auto copy = platform::MakeFileCopy();
  EXPECT_EQ(platform::PathSeparator(), '\\');
  ASSERT_TRUE(tree->CreateFolders(tool + "\\bin"));
  EXPECT_TRUE(tree->FolderExists(tool));
  EXPECT_FALSE(tree->LinkBetween(base, tool + "\\bin"));
  ASSERT_TRUE(copy->Copy(test::ToolPath(), exe, true));
  EXPECT_TRUE(tree->Exists(exe) && !tree->FolderExists(exe) && tree->CanOpenForWriting(exe));
  ASSERT_TRUE(copy->Copy(exe, base, false));  // into a folder: under its own name
  EXPECT_FALSE(copy->Copy(base + "\\missing.exe", base + "\\other.exe", false));
  EXPECT_FALSE(tree->Exists(base + "\\other.exe"));

  ASSERT_TRUE(platform::ReplaceFileAtomically(tool + "\\readme.txt", "old"));
  ASSERT_TRUE(moves->KeepAside(tool + "\\readme.txt", base + "\\readme.old"));
  EXPECT_FALSE(moves->KeepAside(base + "\\tool.exe", base + "\\readme.old"));  // never over one
  ASSERT_TRUE(moves->Move(base + "\\tool.exe", tool + "\\readme.txt"));
  EXPECT_EQ(platform::ReadWholeFile(base + "\\readme.old", 10), "old");
  const auto listing = moves->List(base);
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->folders, (Names{"Tool \xce\xa9", "Tool \xce\xa9/bin"}));
  Names files = listing->files;
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Names{"Tool \xce\xa9/bin/tool.exe", "Tool \xce\xa9/readme.txt", "readme.old"}));
  EXPECT_FALSE(moves->List(base + "\\missing"));
  EXPECT_FALSE(moves->RemoveEmptyFolder(tool));  // not empty
  ::SetFileAttributesW(platform::Widen(base + "\\readme.old").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(moves->RemoveTree(base));
  EXPECT_FALSE(tree->Exists(base));
  EXPECT_TRUE(moves->RemoveTree(base));  // nothing there: nothing left
}

TEST(Win32IconExtraction, TheFirstIconOfAProgramAsA32PixelPicture) {
  auto icons = platform::MakeIconExtraction();
  const auto picture = icons->FirstIcon(test::ToolPath());
  ASSERT_TRUE(icons->IsExistingFile(test::ToolPath()) && picture);
  ASSERT_EQ(picture->width, 32);
  ASSERT_EQ(picture->height, 32);
  ASSERT_EQ(picture->pixels.size(), 32u * 32u);
  for (const int at : {0, 15 * 32 + 31}) EXPECT_EQ(picture->pixels[at], 0xffff0000u) << at;  // top half red
  for (const int at : {16 * 32, 31 * 32 + 31}) EXPECT_EQ(picture->pixels[at] >> 24, 0u) << at;  // bottom clear
  const std::string folder = platform::FolderPart(test::ToolPath());
  EXPECT_FALSE(icons->IsExistingFile(folder));
  for (const std::string& no_icon : {folder, folder + "missing.exe", folder + "rk5_win32_tests.exe"}) {
    EXPECT_FALSE(icons->FirstIcon(no_icon)) << no_icon;
  }
}

// Every field as the shell reads it; show command and hot key from the file's header.
platform::Launcher ReadLink(const std::string& file) {
  platform::Launcher read;
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  wchar_t text[INFOTIPSIZE] = {};
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(platform::Widen(file).c_str(), STGM_READ))) {
    // The item list keeps names in UTF-16; the path field is in the ANSI code page.
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(link->GetIDList(&items)) && ::SHGetPathFromIDListW(items, text)) read.target = platform::Narrow(text);
    ::CoTaskMemFree(items);
    if (SUCCEEDED(link->GetArguments(text, INFOTIPSIZE))) read.arguments = platform::Narrow(text);
    if (SUCCEEDED(link->GetWorkingDirectory(text, INFOTIPSIZE))) read.working_folder = platform::Narrow(text);
    if (SUCCEEDED(link->GetDescription(text, INFOTIPSIZE))) read.description = platform::Narrow(text);
    if (SUCCEEDED(link->GetIconLocation(text, INFOTIPSIZE, &read.icon_index))) read.icon_file = platform::Narrow(text);
  }
  if (persist != nullptr) persist->Release();
  if (link != nullptr) link->Release();
  const std::string bytes = platform::ReadWholeFile(file, 1 << 16).value_or("");
  auto field = [&](std::size_t at) { return bytes.size() < 0x4c ? 0u : std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8; };
  read.show_state = field(0x3c) == SW_SHOWMAXIMIZED ? 2 : field(0x3c) == SW_SHOWMINNOACTIVE ? 1 : 0;
  read.hot_key = field(0x40);
  return read;
}

TEST(Win32LauncherFiles, EveryFieldOfALinkReadsBackAndBadLaunchersWriteNothing) {
  const platform::ComApartment com;
  test::Scratch scratch;
  const std::string where = scratch / "links", tools = where + "\\Tools \xce\xa9";
  const std::string target = tools + "\\\xe5\xb7\xa5\xe5\x85\xb7.exe";  // outside the ANSI code page
  fs::create_directories(fs::path(platform::Widen(tools)));
  fs::copy_file(fs::path(platform::Widen(test::ToolPath())), fs::path(platform::Widen(target)));
  auto launchers = platform::MakeLauncherFiles();
  EXPECT_EQ(launchers->FileName("Tool"), "Tool.lnk");
  const platform::Launcher full{target, "/a \"b c\"", tools, "A tool \xce\xa9", tools + "\\icons.dll", "", 3,
                                MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT), 2};
  platform::Launcher minimised = full, relative = full, control = full;
  minimised.show_state = 1, minimised.hot_key = 0;
  relative.target = "tool.exe", control.arguments = "a\nb";
  for (const auto& written : {full, minimised}) {  // the second replaces the first in place
    ASSERT_TRUE(launchers->Write(where, "Tool \xce\xa9", written));
    const auto read = ReadLink(where + "\\Tool \xce\xa9.lnk");
    EXPECT_EQ(std::tie(read.target, read.arguments, read.working_folder, read.description, read.icon_file),
              std::tie(written.target, written.arguments, written.working_folder, written.description, written.icon_file));
    EXPECT_EQ(std::tie(read.icon_index, read.hot_key, read.show_state),
              std::tie(written.icon_index, written.hot_key, written.show_state));
  }
  const std::pair<std::string, platform::Launcher> refused[] = {
      {"", full}, {"..", full}, {"a\\b", full}, {"a:b", full}, {std::string(260, 'n'), full},
      {"Rel", relative}, {"Ctl", control}};
  for (const auto& [name, launcher] : refused) EXPECT_FALSE(launchers->Write(where, name, launcher)) << name;
  EXPECT_FALSE(launchers->Write(where + "\\missing", "Tool", full));
  EXPECT_EQ(std::distance(fs::directory_iterator(where), fs::directory_iterator()), 2);  // link, tools
}

}  // namespace
}  // namespace rk5
