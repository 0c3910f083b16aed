#include "platform/file_moves.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace rk5::platform {
namespace {

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The names in a folder, read whole and closed again, so that a deep walk holds one
// descriptor at a time.
bool ReadNames(const std::string& folder, std::vector<std::string>& names) {
  DIR* dir = ::opendir(folder.c_str());
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

bool Walk(const std::string& root, const std::string& relative, TreeListing& listing) {
  std::vector<std::string> names;
  if (!ReadNames(relative.empty() ? root : Join(root, relative), names)) return false;
  for (const std::string& name : names) {
    std::string child = relative.empty() ? name : relative + "/" + name;
    struct stat st {};
    if (::lstat(Join(root, child).c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
      listing.folders.push_back(child);
      if (!Walk(root, child, listing)) return false;
    } else {
      listing.files.push_back(std::move(child));
    }
  }
  return true;
}

bool Remove(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  std::vector<std::string> names;
  bool ok = ReadNames(path, names);
  for (const std::string& name : names) ok = Remove(Join(path, name)) && ok;
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
    if (!Walk(folder, {}, listing)) return std::nullopt;
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
