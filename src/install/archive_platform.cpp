#include "install/archive_platform.h"

#include <algorithm>

namespace rk5 {

ArchivePlatform ArchivePlatform::ThisSystem() {
  ArchivePlatform p;
  p.tree = platform::MakeFileTree();
  p.stager = platform::MakeFileStager();
  p.times = platform::MakeFileTimes();
  p.attributes = platform::MakeFileAttributes();
  p.space = platform::MakeFreeSpace();
  p.separator = platform::PathSeparator();
  return p;
}

std::uint64_t FreeSpaceMargin(platform::FreeSpace& space, const std::string& where) {
  constexpr std::uint64_t kMarginPercent = 5;
  constexpr std::uint64_t kMaxMargin = 64ull << 20;
  const std::optional<std::uint64_t> disk = space.TotalBytes(where);
  return disk ? std::min(*disk / 100 * kMarginPercent, kMaxMargin) : kMaxMargin;
}

namespace {

// Shared without owning: the bundle keeps the object.
template <typename T>
std::shared_ptr<T> Borrowed(const std::unique_ptr<T>& owned) {
  return std::shared_ptr<T>(std::shared_ptr<void>(), owned.get());
}

}  // namespace

ArchivePlatform ArchivePlatform::From(platform::Services& services) {
  ArchivePlatform p;
  p.tree = Borrowed(services.file_tree);
  p.stager = Borrowed(services.file_stager);
  p.times = Borrowed(services.file_times);
  p.attributes = Borrowed(services.file_attributes);
  p.space = Borrowed(services.free_space);
  p.separator = platform::PathSeparator();
  return p;
}

}  // namespace rk5
