// Launchers as shell links, read back through the shell's own link object.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "helper_process.h"
#include "platform/atomic_file.h"
#include "platform/launcher_files.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/wide_text.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;

// Where the link header keeps them.
constexpr std::size_t kShowCommandAt = 0x3c, kHotKeyAt = 0x40, kHeaderSize = 0x4c;

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
    // The item list keeps every name in UTF-16; the link's path field is in the ANSI code
    // page, where letters outside it turn into "?".
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(link->GetIDList(&items)) && ::SHGetPathFromIDListW(items, text)) read.target = platform::Narrow(text);
    ::CoTaskMemFree(items);
    if (SUCCEEDED(link->GetArguments(text, INFOTIPSIZE))) read.arguments = platform::Narrow(text);
    if (SUCCEEDED(link->GetWorkingDirectory(text, INFOTIPSIZE))) read.working_folder = platform::Narrow(text);
    if (SUCCEEDED(link->GetDescription(text, INFOTIPSIZE))) read.description = platform::Narrow(text);
    if (SUCCEEDED(link->GetIconLocation(text, INFOTIPSIZE, &read.icon_index))) read.icon_file = platform::Narrow(text);
  }
  if (persist != nullptr) persist->Release();
  link->Release();
  // Show command and hot key as the file's header holds them for the shell that starts it.
  const std::string bytes = platform::ReadWholeFile(file, 1 << 16).value_or("");
  if (bytes.size() >= kHeaderSize) {
    auto field = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8; };
    const int show = field(kShowCommandAt);
    read.show_state = show == SW_SHOWMAXIMIZED ? 2 : show == SW_SHOWMINNOACTIVE ? 1 : 0;
    read.hot_key = field(kHotKeyAt);
  }
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
  const std::string tools = where + "\\Tools \xce\xa9";
  fs::create_directories(fs::path(platform::Widen(tools)));
  const std::string target = tools + "\\\xe5\xb7\xa5\xe5\x85\xb7.exe";
  fs::copy_file(fs::path(platform::Widen(test::ToolPath())), fs::path(platform::Widen(target)));
  const platform::Launcher full{target, "/a \"b c\"", tools, "A tool \xce\xa9", tools + "\\icons.dll",
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
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);  // link, tools
  fs::remove_all(folder);
}

}  // namespace
}  // namespace rk5
