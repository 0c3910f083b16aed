// Launchers as shell links, read back through the shell's own link object.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/launcher_files.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/wide_text.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;

platform::Launcher ReadLink(const std::string& file) {
  platform::Launcher read;
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return read;
  }
  IPersistFile* persist = nullptr;
  wchar_t text[INFOTIPSIZE] = {};
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(platform::Widen(file).c_str(), STGM_READ))) {
    if (SUCCEEDED(link->GetPath(text, INFOTIPSIZE, nullptr, SLGP_RAWPATH))) read.target = platform::Narrow(text);
    if (SUCCEEDED(link->GetArguments(text, INFOTIPSIZE))) read.arguments = platform::Narrow(text);
    if (SUCCEEDED(link->GetWorkingDirectory(text, INFOTIPSIZE))) read.working_folder = platform::Narrow(text);
    if (SUCCEEDED(link->GetDescription(text, INFOTIPSIZE))) read.description = platform::Narrow(text);
    if (SUCCEEDED(link->GetIconLocation(text, INFOTIPSIZE, &read.icon_index))) read.icon_file = platform::Narrow(text);
    WORD hot_key = 0;
    if (SUCCEEDED(link->GetHotkey(&hot_key))) read.hot_key = hot_key;
    int show = 0;
    if (SUCCEEDED(link->GetShowCmd(&show))) read.show_state = show == SW_SHOWMAXIMIZED ? 2 : show == SW_SHOWNORMAL ? 0 : 1;
  }
  if (persist != nullptr) persist->Release();
  link->Release();
  return read;
}

TEST(Win32LauncherFiles, EveryFieldOfALinkReadsBackAndBadLaunchersWriteNothing) {
  const platform::ComApartment com;
  const fs::path folder = fs::temp_directory_path() / ("rk5w-links-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(folder);
  const std::string where = folder.string();
  auto launchers = platform::MakeLauncherFiles();
  EXPECT_EQ(launchers->FileName("Tool"), "Tool.lnk");

  // Outside the ANSI code page: Greek and Chinese letters in the target and its folder.
  const platform::Launcher full{"C:\\Tools \xce\xa9\\\xe5\xb7\xa5\xe5\x85\xb7.exe", "/a \"b c\"",
                                "C:\\Tools \xce\xa9", "A tool \xce\xa9", "C:\\Tools \xce\xa9\\icons.dll",
                                3, MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT), 2};
  ASSERT_TRUE(launchers->Write(where, "Tool \xce\xa9", full));
  const platform::Launcher read = ReadLink(where + "\\Tool \xce\xa9.lnk");
  EXPECT_EQ(read.target, full.target);
  EXPECT_EQ(read.arguments, full.arguments);
  EXPECT_EQ(read.working_folder, full.working_folder);
  EXPECT_EQ(read.description, full.description);
  EXPECT_EQ(read.icon_file, full.icon_file);
  EXPECT_EQ(read.icon_index, full.icon_index);
  EXPECT_EQ(read.hot_key, full.hot_key);
  EXPECT_EQ(read.show_state, full.show_state);

  // Written again: replaced in place.
  platform::Launcher minimised = full;
  minimised.show_state = 1;
  minimised.hot_key = 0;
  ASSERT_TRUE(launchers->Write(where, "Tool \xce\xa9", minimised));
  EXPECT_EQ(ReadLink(where + "\\Tool \xce\xa9.lnk").show_state, 1u);

  platform::Launcher relative = full;
  relative.target = "tool.exe";
  platform::Launcher control = full;
  control.arguments = "a\nb";
  const struct {
    std::string folder, name;
    platform::Launcher launcher;
  } refused[] = {{where, "", full},          {where, "..", full},          {where, "a\\b", full},
                 {where, "a:b", full},       {where, std::string(260, 'n'), full},
                 {where, "Rel", relative},   {where, "Ctl", control},      {where + "\\missing", "Tool", full}};
  for (const auto& bad : refused) {
    SCOPED_TRACE(bad.name);
    EXPECT_FALSE(launchers->Write(bad.folder, bad.name, bad.launcher));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace rk5
