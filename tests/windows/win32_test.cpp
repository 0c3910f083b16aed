// The Win32 services against the real system (under Wine here): registry, user folders,
// program start, busy marks and locks between processes, atomic replace, long paths, the
// file tree, a program's icon and launchers read back through the shell's link object.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/busy_marks.h"
#include "platform/creation_mask.h"
#include "platform/file_attributes.h"
#include "platform/file_copy.h"
#include "platform/file_lock.h"
#include "platform/file_moves.h"
#include "platform/file_times.h"
#include "platform/file_tree.h"
#include "platform/free_space.h"
#include "platform/icon_extraction.h"
#include "platform/launcher_files.h"
#include "platform/process_info.h"
#include "platform/program_start.h"
#include "platform/services.h"
#include "platform/text.h"
#include "platform/user_folders.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/system_registry.h"
#include "platform/win32/wide_text.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Outcome = platform::BusyMarks::Outcome;
constexpr char kOmega[] = "\xce\xa9";  // outside the ANSI code page

// This program is also the tests' second process (main() below), and carries an icon.
std::string ToolPath() { return platform::ExecutablePath(); }

// A folder of its own under the system's temporary folder, removed afterwards.
struct Scratch {
  const std::string root = (fs::temp_directory_path() / ("rk5w-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                                          std::to_string(::GetTickCount64()))).string();
  Scratch() { fs::create_directories(root); }
  ~Scratch() { std::error_code ignored; fs::remove_all(root, ignored); }
  std::string operator/(const std::string& name) const { return root + "\\" + name; }
};

// The tool started with command_line after its name; its first line says it is ready.
class HelperProcess {
 public:
  explicit HelperProcess(const std::string& command_line) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    ::CreatePipe(&read_end, &write_end, &inherit, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = write_end;
    std::wstring line = platform::Widen("\"" + ToolPath() + "\" " + command_line);
    PROCESS_INFORMATION started{};
    ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    ::CloseHandle(started.hThread);
    ::CloseHandle(write_end);
    process_ = started.hProcess;
    char c = 0;
    for (DWORD n = 0; ::ReadFile(read_end, &c, 1, &n, nullptr) && n == 1 && c != '\n';) first_line_ += c == '\r' ? "" : std::string(1, c);
    ::CloseHandle(read_end);
  }
  ~HelperProcess() { Kill(); }
  HelperProcess(const HelperProcess&) = delete;
  const std::string& first_line() const { return first_line_; }

  // Ends it as a crash would, and waits until the system has closed its handles.
  void Kill() {
    if (process_ == nullptr) return;
    ::TerminateProcess(process_, 9);
    ::WaitForSingleObject(process_, INFINITE);
    ::CloseHandle(std::exchange(process_, nullptr));
  }

 private:
  HANDLE process_ = nullptr;
  std::string first_line_;
};


TEST(Win32Registry, StringsRoundTripAndOtherKindsReadEmpty) {
  const std::string path = "\\Software\\Rk5HelperTest\\" + std::to_string(::GetCurrentProcessId()) + "\\";
  auto registry = platform::MakeSystemRegistry();
  {
    auto key = registry->OpenKey(platform::RegistryRoot::CurrentUser, path);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->ValueExists("Name"));
    key->WriteString("Name", std::string("C:\\Tool ") + kOmega);
    key->WriteString("Empty", "");
    const DWORD number = 7;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, platform::Widen(path.substr(1)).c_str(), L"Number", REG_DWORD,
                                &number, sizeof number), ERROR_SUCCESS);
    EXPECT_THROW(key->WriteString("Bad", "\xff\xfe"), platform::RegistryError);
  }
  const auto again = registry->OpenKey(platform::RegistryRoot::CurrentUser, path);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->ReadString("name"), std::string("C:\\Tool ") + kOmega);
  EXPECT_TRUE(again->ValueExists("Empty") && again->ValueExists("Number") && !again->ValueExists("Bad"));
  EXPECT_EQ(again->ReadString("Number"), "");  // not a string: as if missing
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Rk5HelperTest");
}

TEST(Win32Services, TheSystemBundleIsWholeAndTheUserFoldersAreTheShells) {
  std::string registry_file;
  const auto services = platform::MakeSystemServices(
      [&](const std::string& file) { return registry_file = file, platform::MakeSystemRegistry(); },
      platform::ReadCreationMaskAtStart());
  EXPECT_TRUE(services.registry && services.icons && services.program_start && services.busy_marks &&
              services.launcher_files && services.file_copy && services.file_tree && services.file_stager &&
              services.file_times && services.file_attributes && services.free_space && services.file_moves);
  EXPECT_EQ(registry_file.rfind(platform::ConfigFolder(), 0), 0u) << registry_file;
  EXPECT_EQ(platform::CreationMaskNow(), 0u);
  for (const std::string& folder : {platform::HomeFolder(), platform::ConfigFolder(), platform::DataFolder(),
                                    platform::DesktopFolder(), platform::ApplicationsFolder(),
                                    platform::ProgramFilesFolder()}) {
    EXPECT_TRUE(folder.size() > 3 && folder[1] == ':' && folder.back() != '\\') << folder;
    EXPECT_TRUE(services.file_tree->FolderExists(folder)) << folder;
  }
  EXPECT_NE(platform::ConfigFolder(), platform::DataFolder());  // roaming and local
}

TEST(Win32ProgramStart, StartsInItsFolderWithItsArgumentsAndRefusesWhatIsNotThere) {
  Scratch scratch;
  const std::string folder = scratch / ("work " + std::string(kOmega)), report = scratch / "report.txt";
  fs::create_directories(fs::path(platform::Widen(folder)));  // UTF-16: not the ANSI code page
  auto start = platform::MakeProgramStart();
  ASSERT_TRUE(start->Start(ToolPath(), "report \"" + report + "\" \"two words\" x", folder, SW_HIDE));
  std::optional<std::string> text;  // the started program is not ours to wait for
  for (int i = 0; i < 600 && !(text = platform::ReadWholeFile(report, 1 << 16)); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(text.value_or("(none)"), folder + "\ntwo words\nx\n");
  EXPECT_FALSE(start->Start("no-such-tool.exe", "", scratch.root, SW_HIDE));  // never a search path
  EXPECT_FALSE(start->Start(ToolPath(), "", scratch / "missing", SW_HIDE));
  EXPECT_FALSE(start->Start("", "", "", SW_HIDE));
  EXPECT_FALSE(start->Start(std::string("a\0b", 3), "", "", SW_HIDE));
}

TEST(Win32BusyMarks, AMarkHeldByAnotherProcessIsSeenAndFreedWhenItIsKilled) {
  auto marks = platform::MakeBusyMarks();
  const std::string service = "rk5-test-" + std::to_string(::GetCurrentProcessId());
  // A kernel object name may not hold "\"; a long topic passes the name's bound.
  for (const std::string& topic : {std::string("Tool\\One"), std::string(400, 'x')}) {
    SCOPED_TRACE(topic.size());
    EXPECT_FALSE(marks->IsHeld(service, topic));
    HelperProcess holder("hold-mark " + service + " \"" + topic + "\"");
    ASSERT_EQ(holder.first_line(), "Taken");
    EXPECT_TRUE(marks->IsHeld(service, platform::FoldCase(topic)));
    EXPECT_EQ(marks->TryHold(service, platform::FoldCase(topic)).outcome, Outcome::HeldElsewhere);
    EXPECT_TRUE(marks->IsHeld(service, topic));  // the failed take and the probes changed nothing
    holder.Kill();
    EXPECT_FALSE(marks->IsHeld(service, topic));
    auto hold = marks->TryHold(service, topic);
    ASSERT_EQ(hold.outcome, Outcome::Taken);
    EXPECT_EQ(marks->TryHold(service, topic).outcome, Outcome::HeldElsewhere);  // in this process too
    hold.mark.reset();
    EXPECT_EQ(marks->TryHold(service, topic).outcome, Outcome::Taken);
  }
  EXPECT_TRUE(marks->RegisterService(service));
}

TEST(Win32FileLock, ALockHeldElsewhereBoundsTheWaitAndDiesWithItsHolder) {
  Scratch scratch;
  const std::string file = scratch / "Local.ini";
  HelperProcess holder("hold-lock \"" + file + "\"");
  ASSERT_EQ(holder.first_line(), "held");
  EXPECT_FALSE(platform::FileLock(file, 100ms).held());
  holder.Kill();
  EXPECT_TRUE(platform::FileLock(file, 10s).held());
  fs::create_directories(scratch / "Other.ini.lock");  // a folder in the lock file's place
  EXPECT_FALSE(platform::FileLock(scratch / "Other.ini", 0ms).held());
}

TEST(Win32AtomicFile, AReaderSeesTheOldFileOrTheNewOneNeverATornOne) {
  Scratch scratch;
  const std::string file = scratch / "rk5h.ini", old_bytes(300000, 'a'), new_bytes(200000, 'b');
  ASSERT_TRUE(platform::ReplaceFileAtomically(file, old_bytes));
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread reader([&] {
    for (; !done; ++reads, std::this_thread::sleep_for(1ms)) {  // a reader now and then, as the program's are
      auto bytes = platform::ReadWholeFile(file, 1 << 20);
      torn += !bytes || (*bytes != old_bytes && *bytes != new_bytes);
    }
  });
  int failed_replaces = 0;  // the reader shares the file for its replacement
  for (int i = 0; i < 100; ++i) failed_replaces += !platform::ReplaceFileAtomically(file, i % 2 ? old_bytes : new_bytes);
  done = true;
  reader.join();
  EXPECT_TRUE(failed_replaces == 0 && torn == 0) << failed_replaces << " failed, " << torn << " torn";
  EXPECT_GT(reads, 0);
  EXPECT_EQ(platform::StampOf(file).size, old_bytes.size());
  EXPECT_FALSE(platform::ReplaceFileAtomically(scratch / "missing\\rk5h.ini", "x"));
  platform::RemoveLeftoverTemporaries(file);
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.root), fs::directory_iterator()), 1);
}

TEST(Win32Files, PathsPastTheOldLimitTimesAttributesAndFreeSpace) {
  Scratch scratch;
  std::string folder = scratch.root;
  while (folder.size() < 300) folder += "\\" + std::string(40, 'd');
  ASSERT_TRUE(fs::create_directories(fs::path(L"\\\\?\\" + platform::Widen(folder))));
  const std::string file = folder + "\\Settings.ini";
  const std::wstring long_form = L"\\\\?\\" + platform::Widen(file);
  ASSERT_TRUE(platform::ReplaceFileAtomically(file, "[S]\r\nk=v\r\n"));
  EXPECT_EQ(platform::ReadWholeFile(file, 100), "[S]\r\nk=v\r\n");
  EXPECT_FALSE(platform::ReadWholeFile(file, 3));  // over the bound
  EXPECT_FALSE(platform::ReadWholeFile(folder, 100));  // a folder is no file

  ASSERT_TRUE(platform::MakeFileTimes()->SetModificationTime(file, 1000000000));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(long_form.c_str(), GetFileExInfoStandard, &data));
  const std::uint64_t ticks = (std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(ticks / 10000000 - 11644473600ULL, 1000000000ULL);  // 100 ns steps since 1601
  EXPECT_EQ(platform::StampOf(file).mtime_ns, static_cast<long long>(ticks));

  auto attributes = platform::MakeFileAttributes();
  auto read_only = [&] { return (::GetFileAttributesW(long_form.c_str()) & FILE_ATTRIBUTE_READONLY) != 0; };
  EXPECT_TRUE(attributes->SetReadOnly(file) && read_only());
  for (const unsigned bits : {0644u, 0444u, 0600u}) {
    ASSERT_TRUE(attributes->SetPermissionBits(file, bits));
    EXPECT_EQ(read_only(), (bits & 0200) == 0) << bits;
  }
  EXPECT_FALSE(attributes->SetReadOnly(scratch / "missing"));

  const auto space = platform::MakeFreeSpace();
  const auto total = space->TotalBytes(folder), available = space->AvailableBytes(folder);
  EXPECT_TRUE(total && available && *total > 0 && *available <= *total && !space->TotalBytes(scratch / "x"));
}

using Names = std::vector<std::string>;

TEST(Win32FileTree, UnpackCopyMoveListAndRemoveATree) {
  Scratch scratch;
  const std::string base = scratch / "tree", tool = base + "\\Tool \xce\xa9", exe = tool + "\\bin\\tool.exe";
  auto tree = platform::MakeFileTree();
  auto moves = platform::MakeFileMoves();
  auto copy = platform::MakeFileCopy();
  ASSERT_TRUE(tree->CreateFolders(tool + "\\bin"));
  EXPECT_TRUE(tree->FolderExists(tool));
  EXPECT_FALSE(tree->LinkBetween(base, tool + "\\bin"));
  ASSERT_TRUE(copy->Copy(ToolPath(), exe, true));
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
  const auto picture = icons->FirstIcon(ToolPath());
  ASSERT_TRUE(icons->IsExistingFile(ToolPath()) && picture);
  ASSERT_TRUE(picture->width == 32 && picture->height == 32 && picture->pixels.size() == 32u * 32u);
  for (const int at : {0, 15 * 32 + 31}) EXPECT_EQ(picture->pixels[at], 0xffff0000u) << at;  // top half red
  for (const int at : {16 * 32, 31 * 32 + 31}) EXPECT_EQ(picture->pixels[at] >> 24, 0u) << at;  // bottom clear
  const std::string folder = platform::FolderPart(ToolPath());
  EXPECT_FALSE(icons->IsExistingFile(folder));
  for (const std::string& no_icon : {folder, folder + "missing.exe", folder + "rk5_ini_compare.exe"}) {
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
  Scratch scratch;
  const std::string where = scratch / "links", tools = where + "\\Tools \xce\xa9";
  const std::string target = tools + "\\\xe5\xb7\xa5\xe5\x85\xb7.exe";  // outside the ANSI code page
  fs::create_directories(fs::path(platform::Widen(tools)));
  fs::copy_file(fs::path(platform::Widen(ToolPath())), fs::path(platform::Widen(target)));
  auto launchers = platform::MakeLauncherFiles();
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

// As the second process:
//   report <file> [arguments...]  writes its working folder and arguments to file
//   hold-mark <service> <topic>   prints the take's outcome, then holds it until killed
//   hold-lock <file>              prints "held" or "free", then holds the lock until killed
int main(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(rk5::platform::Narrow(wide[i]));
  ::LocalFree(wide);
  auto say_and_hold = [](const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
    ::Sleep(INFINITE);
  };
  if (args.size() > 2 && args[1] == "report") {
    wchar_t folder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    std::string text = rk5::platform::Narrow(folder) + "\n";
    for (std::size_t i = 3; i < args.size(); ++i) text += args[i] + "\n";
    return rk5::platform::ReplaceFileAtomically(args[2], text) ? 0 : 1;
  }
  if (args.size() == 4 && args[1] == "hold-mark") {
    auto marks = rk5::platform::MakeBusyMarks();
    auto hold = marks->TryHold(args[2], args[3]);
    say_and_hold(hold.mark ? "Taken" : "NotTaken");
  }
  if (args.size() == 3 && args[1] == "hold-lock") {
    rk5::platform::FileLock lock(args[2], std::chrono::milliseconds(0));
    say_and_hold(lock.held() ? "held" : "free");
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
