#include "platform/file_moves.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/posix/file_descriptor.h"

namespace rk5::platform {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The names in an open folder, read whole through a descriptor of its own, so that the
// folder's descriptor stays usable.
bool ReadNamesAt(int folder, std::vector<std::string>& names) {
  DIR* dir = ::fdopendir(::openat(folder, ".", kFolderFlags));
  if (dir == nullptr) return false;
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
    errno = 0;
  }
  const bool complete = errno == 0;
  ::closedir(dir);
  return complete;
}

bool ReadNames(const std::string& folder, std::vector<std::string>& names) {
  FileDescriptor at(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return at.valid() && ReadNamesAt(at.get(), names);
}

bool SameFolder(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Every step is taken from the open folder above, so a walk costs one step per folder
// however deep the tree goes. Only one descriptor is held: going into a child closes the
// parent's, and coming back opens the child's ".." and checks it is still the same
// folder, so a tree moved meanwhile stops the walk instead of leading it elsewhere.
// visit_file(folder, name, relative) and leave_folder(folder, name, relative) act on
// the entries; either returning false stops the walk.
template <typename VisitFile, typename LeaveFolder>
bool WalkAt(FileDescriptor& here, const std::string& relative, TreeListing* listing,
            VisitFile& visit_file, LeaveFolder& leave_folder) {
  std::vector<std::string> names;
  if (!ReadNamesAt(here.get(), names)) return false;
  for (std::string& name : names) {
    std::string child = relative.empty() ? name : relative + "/" + name;
    struct stat st {};
    if (::fstatat(here.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
      if (!visit_file(here.get(), name)) return false;
      if (listing != nullptr) listing->files.push_back(std::move(child));
      continue;
    }
    if (listing != nullptr) listing->folders.push_back(child);
    struct stat mine {};
    if (::fstat(here.get(), &mine) != 0) return false;
    FileDescriptor below(::openat(here.get(), name.c_str(), kFolderFlags));
    if (!below.valid()) return false;
    here.Reset();
    const bool walked = WalkAt(below, child, listing, visit_file, leave_folder);
    here = FileDescriptor(::openat(below.get(), "..", kFolderFlags));
    struct stat back {};
    if (!here.valid() || ::fstat(here.get(), &back) != 0 || !SameFolder(mine, back)) return false;
    if (!walked || !leave_folder(here.get(), name)) return false;
  }
  return true;
}

bool Remove(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  FileDescriptor at(::open(path.c_str(), kFolderFlags));
  if (!at.valid()) return errno == ENOENT;
  // An entry that cannot be removed does not stop the others; a folder that cannot be
  // entered stops the walk.
  bool ok = true;
  auto remove_file = [&ok](int folder, const std::string& name) {
    ok = (::unlinkat(folder, name.c_str(), 0) == 0 || errno == ENOENT) && ok;
    return true;
  };
  auto remove_folder = [&ok](int folder, const std::string& name) {
    ok = (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) && ok;
    return true;
  };
  ok = WalkAt(at, {}, nullptr, remove_file, remove_folder) && ok;
  at.Reset();
  return (::rmdir(path.c_str()) == 0 || errno == ENOENT) && ok;
}

class PosixFileMoves final : public FileMoves {
 public:
  bool Move(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0;
  }

  bool KeepAside(const std::string& path, const std::string& aside) override {
    // A second link keeps the file in place for whoever runs it meanwhile; file systems
    // without links, or rules against linking another user's file, get a move instead.
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), 0) == 0) return true;
    if (errno == EEXIST || errno == ENOENT || errno == ENOTDIR) return false;
    return ::rename(path.c_str(), aside.c_str()) == 0;
  }

  std::optional<TreeListing> List(const std::string& folder) override {
    TreeListing listing;
    FileDescriptor at(::open(folder.c_str(), kFolderFlags));
    auto keep = [](int, const std::string&) { return true; };
    if (!at.valid() || !WalkAt(at, {}, &listing, keep, keep)) return std::nullopt;
    return listing;
  }

  std::vector<std::string> Names(const std::string& folder) override {
    std::vector<std::string> names;
    if (!ReadNames(folder, names)) names.clear();
    return names;
  }

  std::string IdentityOf(const std::string& path) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  }

  bool RemoveEmptyFolder(const std::string& path) override { return ::rmdir(path.c_str()) == 0; }

  bool RemoveTree(const std::string& path) override { return Remove(path); }
};

}  // namespace

std::unique_ptr<FileMoves> MakeFileMoves() { return std::make_unique<PosixFileMoves>(); }

}  // namespace rk5::platform
