// The Win32 services against the real system (under Wine here): registry, user folders,
// program start, busy marks and locks between processes, atomic replace, long paths.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/busy_marks.h"
#include "platform/creation_mask.h"
#include "platform/file_attributes.h"
#include "platform/file_lock.h"
#include "platform/file_times.h"
#include "platform/free_space.h"
#include "platform/program_start.h"
#include "platform/services.h"
#include "platform/user_folders.h"
#include "platform/win32/system_registry.h"
#include "win32_test_support.h"

namespace rk5 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Outcome = platform::BusyMarks::Outcome;
constexpr char kOmega[] = "\xce\xa9";  // outside the ANSI code page

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
  auto again = registry->OpenKey(platform::RegistryRoot::CurrentUser, path);
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
  test::Scratch scratch;
  const std::string folder = scratch / ("work " + std::string(kOmega)), report = scratch / "report.txt";
  fs::create_directories(fs::path(platform::Widen(folder)));  // UTF-16: not the ANSI code page
  auto start = platform::MakeProgramStart();
  ASSERT_TRUE(start->Start(test::ToolPath(), "report \"" + report + "\" \"two words\" x", folder, SW_HIDE));
  std::optional<std::string> text;  // the started program is not ours to wait for
  for (int i = 0; i < 600 && !(text = platform::ReadWholeFile(report, 1 << 16)); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(text.value_or("(none)"), folder + "\ntwo words\nx\n");
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
  test::Scratch scratch;
  test::HelperProcess holder("hold-lock \"" + (scratch / "Local.ini") + "\"");
  ASSERT_EQ(holder.first_line(), "held");
  EXPECT_FALSE(platform::FileLock(scratch / "Local.ini", 100ms).held());
  holder.Kill();
  EXPECT_TRUE(platform::FileLock(scratch / "Local.ini", 10s).held());
  fs::create_directories(scratch / "Other.ini.lock");  // a folder in the lock file's place
  EXPECT_FALSE(platform::FileLock(scratch / "Other.ini", 0ms).held());
}

TEST(Win32AtomicFile, AReaderSeesTheOldFileOrTheNewOneNeverATornOne) {
  test::Scratch scratch;
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
  EXPECT_EQ(failed_replaces, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(platform::StampOf(file).size, old_bytes.size());
  EXPECT_FALSE(platform::ReplaceFileAtomically(scratch / "missing\\rk5h.ini", "x"));
  platform::RemoveLeftoverTemporaries(file);
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.str()), fs::directory_iterator()), 1);
}

TEST(Win32Files, PathsPastTheOldLimitTimesAttributesAndFreeSpace) {
  test::Scratch scratch;
  std::string folder = scratch.str();
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
  ASSERT_TRUE(attributes->SetReadOnly(file));
  EXPECT_TRUE(read_only());
  for (const unsigned bits : {0644u, 0444u, 0600u}) {
    ASSERT_TRUE(attributes->SetPermissionBits(file, bits));
    EXPECT_EQ(read_only(), (bits & 0200) == 0) << bits;
  }
  EXPECT_FALSE(attributes->SetReadOnly(scratch / "missing"));

  auto space = platform::MakeFreeSpace();
  const auto total = space->TotalBytes(folder), available = space->AvailableBytes(folder);
  EXPECT_TRUE(total && available && *total > 0 && *available <= *total);
  EXPECT_FALSE(space->TotalBytes(scratch / "missing"));
}

}  // namespace
}  // namespace rk5
