// Walks and removals of the install's scratch folders: as deep as the tree goes with few
// descriptors, and never through a link.
#include "platform/file_moves.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

namespace fs = std::filesystem;

// Lowers the process's descriptor limit for one scope.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

TEST(FileMoves, ListsAndRemovesATreeDeeperThanTheDescriptorsAllowedWithoutFollowingALink) {
  test::TempDir dir;
  const fs::path root = dir.path() / "stage", outside = dir.path() / "outside";
  fs::create_directories(outside);
  test::WriteFileBytes(outside / "keep", "keep");
  // 100 levels of 50 letters, made relative to each folder in turn: more folders than
  // descriptors below, and a path longer than one system call takes.
  constexpr int kLevels = 100;
  const std::string step(50, 'a');
  fs::create_directories(root);
  int at = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < kLevels; ++i) {
    ASSERT_EQ(::mkdirat(at, step.c_str(), 0755), 0);
    const int below = ::openat(at, step.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(at);
    at = below;
  }
  ASSERT_EQ(::symlinkat(outside.c_str(), at, "link"), 0);
  ::close(at);
  test::WriteFileBytes(root / step / "f", "f");

  std::unique_ptr<FileMoves> moves = MakeFileMoves();
  {
    DescriptorLimit limit(64);
    const std::optional<TreeListing> listing = moves->List(root.string());
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->folders.size(), static_cast<std::size_t>(kLevels));
    ASSERT_EQ(listing->files.size(), 2u);  // "a.../f" and the link, as a file
    EXPECT_EQ(listing->files[0].size() + listing->files[1].size(), 52u + kLevels * 51 + 4);
    EXPECT_TRUE(moves->RemoveTree(root.string()));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
  EXPECT_EQ(test::ReadFileBytes(outside / "keep"), "keep");
}

}  // namespace
}  // namespace rk5::platform
