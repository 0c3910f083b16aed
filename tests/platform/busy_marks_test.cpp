#include "platform/busy_marks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/event_wait.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

namespace fs = std::filesystem;
using Outcome = BusyMarks::Outcome;

const QString kMarkTool = QStringLiteral(RK5_TEST_BINARY_DIR "/tests/tool_busy_mark");

QString Hex(const std::string& bytes) {
  return QString::fromLatin1(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex());
}

// Another running copy of the program that tries to hold a topic and keeps it.
class Copy {
 public:
  Copy(const fs::path& runtime, const std::string& service, const std::string& topic,
       bool registered = false, bool keep_until_exit = false) {
    QStringList args{QString::fromStdString(runtime.string()), QString::fromStdString(service),
                     Hex(topic)};
    if (registered) args << QStringLiteral("register");
    if (keep_until_exit) args << QStringLiteral("keep");
    process_.start(kMarkTool, args);
  }
  ~Copy() {
    process_.kill();
    process_.waitForFinished();
  }

  // The copy's outcome, once it has one.
  std::string Outcome() {
    while (!process_.canReadLine()) {
      if (!process_.waitForReadyRead(20000)) return "no answer";
    }
    return process_.readLine().trimmed().toStdString();
  }
  // Lets go the ordinary way.
  void End() {
    process_.closeWriteChannel();
    EXPECT_TRUE(process_.waitForFinished());
    EXPECT_EQ(process_.exitCode(), 0);
  }
  void Kill() {
    process_.kill();
    EXPECT_TRUE(process_.waitForFinished());
  }

 private:
  QProcess process_;
};

// Every file below folder, folders left out.
std::vector<fs::path> FilesBelow(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_directory()) files.push_back(entry.path());
  }
  return files;
}

class BusyMarksTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  fs::path runtime_ = dir_.file("run");
  std::unique_ptr<BusyMarks> marks_ = MakeBusyMarks(runtime_.string());
};

TEST_F(BusyMarksTest, ALiveCopysMarkIsSeenWhateverTheLetterCaseAndVanishesWhenItEndsAnyhow) {
  {
    Copy holder(runtime_, "rk5helper", "Foo", true);
    ASSERT_EQ(holder.Outcome(), "Taken");
    EXPECT_TRUE(marks_->IsHeld("rk5helper", "FOO"));
    EXPECT_TRUE(marks_->IsHeld("RK5Helper", "foo"));
    EXPECT_FALSE(marks_->IsHeld("rk5helper", "Bar"));
    EXPECT_FALSE(marks_->IsHeld("rk5h", "Foo"));
    const BusyMarks::Hold refused = marks_->TryHold("rk5helper", "fOO");
    EXPECT_EQ(refused.outcome, Outcome::HeldElsewhere);
    EXPECT_EQ(refused.mark, nullptr);
    holder.End();
  }
  EXPECT_FALSE(marks_->IsHeld("rk5helper", "Foo"));
  // The copy that ended let go of its mark and of its registration: nothing is left.
  EXPECT_TRUE(FilesBelow(runtime_).empty());

  Copy killed(runtime_, "rk5helper", "FOO", true);
  ASSERT_EQ(killed.Outcome(), "Taken");
  killed.Kill();
  EXPECT_FALSE(marks_->IsHeld("rk5helper", "foo"));
  BusyMarks::Hold hold = marks_->TryHold("rk5helper", "Foo");
  ASSERT_EQ(hold.outcome, Outcome::Taken);
  EXPECT_TRUE(marks_->IsHeld("rk5helper", "foo"));
  Copy late(runtime_, "rk5helper", "foo");
  EXPECT_EQ(late.Outcome(), "HeldElsewhere");
  hold.mark.reset();
  EXPECT_FALSE(marks_->IsHeld("rk5helper", "Foo"));
  // A killed copy's registration file stays until the next last copy ends.
  ASSERT_TRUE(marks_->RegisterService("rk5helper"));
  marks_.reset();
  EXPECT_TRUE(FilesBelow(runtime_).empty());
}

TEST_F(BusyMarksTest, TenCopiesStartedAtOnceGiveExactlyOneHolder) {
  std::vector<std::unique_ptr<Copy>> copies;
  for (int i = 0; i < 10; ++i) copies.push_back(std::make_unique<Copy>(runtime_, "rk5helper", "Foo"));
  int taken = 0, refused = 0;
  for (auto& copy : copies) {
    const std::string outcome = copy->Outcome();
    taken += outcome == "Taken";
    refused += outcome == "HeldElsewhere";
  }
  EXPECT_EQ(taken, 1);
  EXPECT_EQ(refused, 9);
}

TEST_F(BusyMarksTest, TakingAndLettingGoAtFullSpeedNeverGivesTwoHolders) {
  std::atomic<int> holders{0}, overlaps{0}, takes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      std::unique_ptr<BusyMarks> marks = MakeBusyMarks(runtime_.string());
      for (int i = 0; i < 3000; ++i) {
        BusyMarks::Hold hold = marks->TryHold("rk5helper", i % 2 ? "Foo" : "FOO");
        if (hold.outcome != Outcome::Taken) continue;
        ++takes;
        if (holders.fetch_add(1) != 0) ++overlaps;
        for (int k = 0; k < 20; ++k) std::this_thread::yield();  // hold it a little while
        holders.fetch_sub(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(takes.load(), 0);
  EXPECT_TRUE(FilesBelow(runtime_).empty());
}

TEST_F(BusyMarksTest, NoTopicNamesAFileOutsideTheMarksFolder) {
  const std::string longest(10000, 'x');
  const std::vector<std::string> topics{"/", "..", "../escape", "a/../../b", "", ".",
                                        std::string("nul\0byte", 8), std::string("nul", 3),
                                        longest, longest + "y", "Z" + longest};
  std::vector<BusyMarks::Hold> holds;
  for (const std::string& topic : topics) {
    holds.push_back(marks_->TryHold("../service/..", topic));
    EXPECT_EQ(holds.back().outcome, Outcome::Taken) << topic.size() << " bytes";
  }
  for (const std::string& topic : topics) EXPECT_TRUE(marks_->IsHeld("../service/..", topic));
  std::vector<fs::path> files = FilesBelow(dir_.path());
  EXPECT_EQ(files.size(), topics.size());
  for (const fs::path& file : files) {
    EXPECT_EQ(file.parent_path().parent_path(), runtime_ / "rk5helper") << file;
    EXPECT_LE(file.filename().string().size(), 255u);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
  holds.clear();
  EXPECT_TRUE(FilesBelow(dir_.path()).empty());
}

// A session folder the marks may not trust: the marks go to the private fallback instead.
void ExpectFolderUnused(const fs::path& folder) {
  test::EnvOverride session("XDG_RUNTIME_DIR", folder.string());
  const std::string service = "rk5test" + std::to_string(::getpid());
  std::unique_ptr<BusyMarks> marks = MakeBusyMarks();
  BusyMarks::Hold hold = marks->TryHold(service, "Foo");
  EXPECT_EQ(hold.outcome, Outcome::Taken);
  EXPECT_TRUE(marks->IsHeld(service, "foo"));
  EXPECT_TRUE(fs::is_empty(folder));
  hold.mark.reset();
  const fs::path fallback = "/tmp/rk5helper-" + std::to_string(::geteuid());
  struct stat st {};
  ASSERT_EQ(::lstat(fallback.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);
  const std::string hex = Hex(service).toStdString();
  EXPECT_TRUE(fs::remove(fallback / "rk5helper" / ("s" + hex)));  // empty once let go
}

TEST_F(BusyMarksTest, AFolderOthersCouldReachIsNeverUsed) {
  const fs::path shared = dir_.file("shared");
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  std::unique_ptr<BusyMarks> open_folder = MakeBusyMarks(shared.string());
  EXPECT_FALSE(open_folder->RegisterService("rk5helper"));
  EXPECT_EQ(open_folder->TryHold("rk5helper", "Foo").outcome, Outcome::Unavailable);
  EXPECT_FALSE(open_folder->IsHeld("rk5helper", "Foo"));
  EXPECT_TRUE(fs::is_empty(shared));
  ExpectFolderUnused(shared);

  const fs::path own = dir_.file("own");
  fs::create_directory(own);
  fs::permissions(own, fs::perms::owner_all);
  fs::create_directory_symlink(own, dir_.file("link"));
  EXPECT_EQ(MakeBusyMarks(dir_.file("link").string())->TryHold("rk5helper", "Foo").outcome,
            Outcome::Unavailable);
  ExpectFolderUnused(dir_.file("link"));
  EXPECT_TRUE(fs::is_empty(own));

  if (::geteuid() == 0) {  // only root can give a folder away
    const fs::path foreign = dir_.file("foreign");
    fs::create_directory(foreign);
    fs::permissions(foreign, fs::perms::owner_all);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    ExpectFolderUnused(foreign);
  }

  // The session's own folder, private to this user, is where the marks go.
  test::EnvOverride session("XDG_RUNTIME_DIR", own.string());
  BusyMarks::Hold hold = MakeBusyMarks()->TryHold("rk5helper", "Foo");
  EXPECT_EQ(hold.outcome, Outcome::Taken);
  EXPECT_EQ(FilesBelow(own).size(), 1u);
}

// A mark kept until exit outlives its object and goes with the process, however it ends.
TEST_F(BusyMarksTest, AMarkKeptUntilExitGoesWithTheProcessNotWithItsObject) {
  auto marks = MakeBusyMarks(runtime_.string());
  for (const bool killed : {false, true}) {
    Copy copy(runtime_, "rk5helper", "update", false, true);
    ASSERT_EQ(copy.Outcome(), "Taken");
    EXPECT_TRUE(marks->IsHeld("rk5helper", "update")) << "its object is gone, the process not";
    EXPECT_EQ(marks->TryHold("rk5helper", "update").outcome, Outcome::HeldElsewhere);
    killed ? copy.Kill() : copy.End();
    EXPECT_FALSE(marks->IsHeld("rk5helper", "update")) << (killed ? "killed" : "ended");
    EXPECT_EQ(marks->TryHold("rk5helper", "update").outcome, Outcome::Taken);
  }
}

}  // namespace
}  // namespace rk5::platform
