// Leftovers of killed writers: every write beside, then rename, removes the temporaries
// that dead writers of the same file left, and never a live writer's or anything else.
#include "platform/staged_file.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/file_copy.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// A writer of target that dies, killed, with its temporary half written.
void KilledWriter(const std::string& target) {
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::unique_ptr<StagedFile> staged = MakeFileStager()->Stage(target);
    if (staged) staged->Write("half", 4);
    ::raise(SIGKILL);
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
}

TEST(StagedFile, TheNextWriterRemovesWhatKilledWritersOfItsFileLeftAndNothingElse) {
  TempDir dir;
  const std::string program = dir.file("rk5helper").string();
  const std::string catalogue = dir.file("rk5h.ini").string();
  WriteFileBytes(dir.file("source"), "new build");
  // Three kill rounds of each writer: the program's copy and a fetched catalogue.
  for (int round = 0; round < 3; ++round) {
    KilledWriter(program);
    KilledWriter(catalogue);
  }
  // Each writer already removed the leftovers of the round before: one of each is left.
  ASSERT_EQ(Names(dir.path()).size(), 3u);
  // A live writer of the catalogue, files that only look alike, another file's leftover.
  std::unique_ptr<StagedFile> live = MakeFileStager()->Stage(catalogue);
  ASSERT_TRUE(live);
  WriteFileBytes(dir.file("rk5helper.tmp-12345"), "user's");
  fs::create_directory(dir.file("rk5helper.tmp-folder"));
  KilledWriter(dir.file("Local.ini").string());
  const std::set<std::string> bystanders = {"rk5helper.tmp-12345", "rk5helper.tmp-folder", "source",
                                            fs::path(live->TempPath()).filename()};

  // The program's copy as "/install" and "/update" make it, and a refresh's catalogue.
  ASSERT_TRUE(MakeFileCopy()->Copy(dir.file("source").string(), program, true));
  std::unique_ptr<StagedFile> fetched = MakeFileStager()->Stage(catalogue);
  ASSERT_TRUE(fetched && fetched->Write("[Rk5Helper]\n", 12) && fetched->Close() && fetched->MoveOverTarget());

  // The INI engine's sweep takes the other file's leftover, and still not the live writer's.
  RemoveLeftoverTemporaries(dir.file("Local.ini").string());
  RemoveLeftoverTemporaries(catalogue);
  std::set<std::string> left = bystanders;
  left.insert({"rk5helper", "rk5h.ini"});
  EXPECT_EQ(Names(dir.path()), left);
  ASSERT_TRUE(live->Write("x", 1) && live->Close() && live->MoveOverTarget());
  EXPECT_EQ(ReadFileBytes(catalogue), "x");
}

}  // namespace
}  // namespace rk5::platform
