// The Win32 services against the real system (under Wine here): registry, program start,
// busy marks and locks between processes, atomic replace under a reader, long paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "helper_process.h"
#include "platform/atomic_file.h"
#include "platform/busy_marks.h"
#include "platform/file_attributes.h"
#include "platform/file_lock.h"
#include "platform/file_times.h"
#include "platform/free_space.h"
#include "platform/program_start.h"
#include "platform/creation_mask.h"
#include "platform/services.h"
#include "platform/user_folders.h"
#include "platform/win32/system_registry.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A folder of its own under the system's temporary folder, removed afterwards.
class Scratch {
 public:
  Scratch() {
    static_assert(sizeof(DWORD) == 4);
    path_ = fs::temp_directory_path() /
            ("rk5w-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount64()));
    fs::create_directories(path_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_.string() + "\\" + name; }
  std::string str() const { return path_.string(); }

 private:
  fs::path path_;
};

TEST(Win32Registry, StringsRoundTripAndOtherKindsReadEmpty) {
  const std::string path = "\\Software\\Rk5HelperTest\\" + std::to_string(::GetCurrentProcessId()) + "\\";
  auto registry = platform::MakeSystemRegistry();
  {
    auto key = registry->OpenKey(platform::RegistryRoot::CurrentUser, path);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->ValueExists("Name"));
    EXPECT_EQ(key->ReadString("Name"), "");
    key->WriteString("Name", "C:\\Program Files\\Tool \xce\xa9");
    key->WriteString("Empty", "");
    const DWORD number = 7;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, platform::Widen(path.substr(1)).c_str(), L"Number",
                                REG_DWORD, &number, sizeof number),
              ERROR_SUCCESS);
    EXPECT_THROW(key->WriteString("Bad", std::string("\xff\xfe", 2)), platform::RegistryError);
  }
  auto again = registry->OpenKey(platform::RegistryRoot::CurrentUser, path);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->ReadString("name"), "C:\\Program Files\\Tool \xce\xa9");
  EXPECT_TRUE(again->ValueExists("Empty"));
  EXPECT_EQ(again->ReadString("Empty"), "");
  EXPECT_TRUE(again->ValueExists("Number"));
  EXPECT_EQ(again->ReadString("Number"), "");  // not a string: as if missing
  EXPECT_FALSE(again->ValueExists("Bad"));
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Rk5HelperTest");
}

TEST(Win32Services, TheSystemBundleIsWholeAndTheUserFoldersAreTheShells) {
  std::string registry_file;
  const platform::Services services = platform::MakeSystemServices(
      [&](const std::string& file) {
        registry_file = file;
        return platform::MakeSystemRegistry();
      },
      platform::ReadCreationMaskAtStart());
  EXPECT_TRUE(services.registry && services.icons && services.program_start && services.busy_marks &&
              services.launcher_files && services.file_copy && services.file_tree && services.file_stager &&
              services.file_times && services.file_attributes && services.free_space && services.file_moves);
  EXPECT_EQ(registry_file.rfind(platform::ConfigFolder(), 0), 0u) << registry_file;
  EXPECT_EQ(platform::CreationMaskNow(), 0u);

  for (const std::string& folder : {platform::HomeFolder(), platform::ConfigFolder(), platform::DataFolder(),
                                    platform::DesktopFolder(), platform::ApplicationsFolder(),
                                    platform::ProgramFilesFolder()}) {
    SCOPED_TRACE(folder);
    ASSERT_GT(folder.size(), 3u);
    EXPECT_EQ(folder[1], ':');
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(services.file_tree->FolderExists(folder));
  }
  EXPECT_NE(platform::ConfigFolder(), platform::DataFolder());  // roaming and local
}

// Waits for a file the started program writes; the program is not ours to wait for.
std::optional<std::string> AwaitFile(const std::string& path) {
  for (int i = 0; i < 600; ++i) {
    if (auto text = platform::ReadWholeFile(path, 1 << 16)) return text;
    std::this_thread::sleep_for(50ms);
  }
  return std::nullopt;
}

TEST(Win32ProgramStart, StartsInItsFolderWithItsArgumentsAndRefusesWhatIsNotThere) {
  Scratch scratch;
  // The path as UTF-16: a narrow one would be taken in the ANSI code page.
  fs::create_directories(fs::path(platform::Widen(scratch / "work \xce\xa9")));
  const std::string report = scratch / "report.txt";
  auto start = platform::MakeProgramStart();
  ASSERT_TRUE(start->Start(test::ToolPath(), "report \"" + report + "\" \"two words\" x", scratch / "work \xce\xa9",
                           SW_HIDE));
  const auto text = AwaitFile(report);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, (scratch / "work \xce\xa9") + "\ntwo words\nx\n");

  EXPECT_FALSE(start->Start("no-such-tool.exe", "", scratch.str(), SW_HIDE));  // never a search path
  EXPECT_FALSE(start->Start(test::ToolPath(), "", scratch / "missing", SW_HIDE));
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
    test::HelperProcess holder("hold-mark " + service + " \"" + topic + "\"");
    ASSERT_EQ(holder.first_line(), "Taken");
    EXPECT_TRUE(marks->IsHeld(service, platform::FoldCase(topic)));
    EXPECT_EQ(marks->TryHold(service, platform::FoldCase(topic)).outcome,
              platform::BusyMarks::Outcome::HeldElsewhere);
    EXPECT_TRUE(marks->IsHeld(service, topic));  // the failed take and the probes changed nothing
    holder.Kill();
    EXPECT_FALSE(marks->IsHeld(service, topic));
    auto hold = marks->TryHold(service, topic);
    ASSERT_EQ(hold.outcome, platform::BusyMarks::Outcome::Taken);
    // A second take in this process fails too, and letting go frees it.
    EXPECT_EQ(marks->TryHold(service, topic).outcome, platform::BusyMarks::Outcome::HeldElsewhere);
    hold.mark.reset();
    EXPECT_FALSE(marks->IsHeld(service, topic));
    EXPECT_EQ(marks->TryHold(service, topic).outcome, platform::BusyMarks::Outcome::Taken);
  }
  EXPECT_TRUE(marks->RegisterService(service));
}

TEST(Win32FileLock, ALockHeldElsewhereBoundsTheWaitAndDiesWithItsHolder) {
  Scratch scratch;
  const std::string file = scratch / "Local.ini";
  {
    test::HelperProcess holder("hold-lock \"" + file + "\"");
    ASSERT_EQ(holder.first_line(), "held");
    EXPECT_FALSE(platform::FileLock(file, 100ms).held());
    holder.Kill();
    EXPECT_TRUE(platform::FileLock(file, 10s).held());
  }
  // A folder in the lock file's place: no lock, so no write.
  fs::create_directories(scratch / "Other.ini.lock");
  EXPECT_FALSE(platform::FileLock(scratch / "Other.ini", 0ms).held());
}

TEST(Win32AtomicFile, AReaderSeesTheOldFileOrTheNewOneNeverATornOne) {
  Scratch scratch;
  const std::string file = scratch / "rk5h.ini";
  const std::string old_bytes(300000, 'a'), new_bytes(200000, 'b');
  ASSERT_TRUE(platform::ReplaceFileAtomically(file, old_bytes));
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread reader([&] {
    while (!done) {
      auto bytes = platform::ReadWholeFile(file, 1 << 20);
      if (!bytes || (*bytes != old_bytes && *bytes != new_bytes)) ++torn;
      ++reads;
      std::this_thread::sleep_for(1ms);  // a reader now and then, as the program's are
    }
  });
  int failed_replaces = 0;
  for (int i = 0; i < 100; ++i) {
    failed_replaces += !platform::ReplaceFileAtomically(file, i % 2 ? old_bytes : new_bytes);
  }
  done = true;
  reader.join();
  EXPECT_EQ(failed_replaces, 0);  // the reader shares the file for its replacement
  EXPECT_EQ(torn, 0);
  EXPECT_GT(reads, 0);
  const auto stamp = platform::StampOf(file);
  EXPECT_TRUE(stamp.exists);
  EXPECT_EQ(stamp.size, old_bytes.size());
  EXPECT_FALSE(platform::ReplaceFileAtomically(scratch / "missing\\rk5h.ini", "x"));
  EXPECT_EQ(fs::directory_iterator(scratch.str()) == fs::directory_iterator(), false);
  platform::RemoveLeftoverTemporaries(file);
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.str()), fs::directory_iterator()), 1);
}

TEST(Win32Files, PathsPastTheOldLimitTimesAttributesAndFreeSpace) {
  Scratch scratch;
  std::string folder = scratch.str();
  while (folder.size() < 300) folder += "\\" + std::string(40, 'd');
  ASSERT_TRUE(fs::create_directories(fs::path(L"\\\\?\\" + platform::Widen(folder))));
  const std::string file = folder + "\\Settings.ini";
  ASSERT_GT(file.size(), 260u);
  ASSERT_TRUE(platform::ReplaceFileAtomically(file, "[S]\r\nk=v\r\n"));
  EXPECT_EQ(platform::ReadWholeFile(file, 100), "[S]\r\nk=v\r\n");
  EXPECT_FALSE(platform::ReadWholeFile(file, 3));  // over the bound
  EXPECT_FALSE(platform::ReadWholeFile(folder, 100));  // a folder is no file

  auto times = platform::MakeFileTimes();
  const auto before = platform::StampOf(file);
  ASSERT_TRUE(times->SetModificationTime(file, 1000000000));
  EXPECT_NE(platform::StampOf(file).mtime_ns, before.mtime_ns);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW((L"\\\\?\\" + platform::Widen(file)).c_str(), GetFileExInfoStandard, &data));
  const std::uint64_t ticks = (std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) |
                              data.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(ticks / 10000000 - 11644473600ULL, 1000000000ULL);

  auto attributes = platform::MakeFileAttributes();
  const std::wstring long_form = L"\\\\?\\" + platform::Widen(file);
  ASSERT_TRUE(attributes->SetReadOnly(file));
  EXPECT_NE(::GetFileAttributesW(long_form.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ASSERT_TRUE(attributes->SetPermissionBits(file, 0644));
  EXPECT_EQ(::GetFileAttributesW(long_form.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ASSERT_TRUE(attributes->SetPermissionBits(file, 0444));
  EXPECT_NE(::GetFileAttributesW(long_form.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ASSERT_TRUE(attributes->SetPermissionBits(file, 0600));
  EXPECT_FALSE(attributes->SetReadOnly(scratch / "missing"));

  auto space = platform::MakeFreeSpace();
  const auto total = space->TotalBytes(folder);
  const auto available = space->AvailableBytes(folder);
  ASSERT_TRUE(total && available);
  EXPECT_GT(*total, 0u);
  EXPECT_LE(*available, *total);
  EXPECT_FALSE(space->TotalBytes(scratch / "missing"));
}

}  // namespace
}  // namespace rk5
