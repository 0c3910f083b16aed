#include "platform/file_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/file_descriptor.h"

namespace rk5::platform {
namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// errno stays ENOENT when the parent is missing.
bool MakeOne(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  // It may be there already, or someone else made it meanwhile; a file of that name is a
  // failure.
  return errno == EEXIST && IsFolder(path);
}

class PosixFileTree final : public FileTree {
 public:
  bool FolderExists(const std::string& path) override { return IsFolder(path); }

  bool Exists(const std::string& path) override {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }

  bool CreateFolders(const std::string& path) override {
    if (path.empty()) return false;
    // The folder itself first: when its parent exists, as for every folder of a tree made
    // parents first, that is one call, whatever the depth.
    if (MakeOne(path)) return true;
    if (errno != ENOENT) return false;
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    std::size_t end = slash;
    while (end > 0 && path[end - 1] == '/') --end;  // "a//b": the parent is "a"
    if (end == 0) return false;
    return CreateFolders(path.substr(0, end)) && MakeOne(path);
  }

  bool CreateFoldersBelow(const std::string& base, const std::string& folder) override {
    if (folder.compare(0, base.size(), base) != 0) return false;
    FileDescriptor at(::open(base.empty() ? "." : base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::size_t pos = base.size();
    while (at.valid() && pos < folder.size()) {
      while (pos < folder.size() && folder[pos] == '/') ++pos;
      const std::size_t end = std::min(folder.find('/', pos), folder.size());
      if (end == pos) break;
      const std::string step = folder.substr(pos, end - pos);
      if (::mkdirat(at.get(), step.c_str(), 0777) != 0 && errno != EEXIST) return false;
      at = FileDescriptor(::openat(at.get(), step.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      pos = end;
    }
    return at.valid();
  }

  bool CanOpenForWriting(const std::string& path) override {
    // Non-blocking so that a named pipe without a reader fails instead of hanging.
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }

  bool RemoveFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool LinkBetween(const std::string& base, const std::string& folder) override {
    // Not below base: every folder of it counts.
    std::size_t pos = folder.compare(0, base.size(), base) == 0 ? base.size() : 0;
    while (pos < folder.size()) {
      const std::size_t next = folder.find('/', pos + 1);
      const std::string prefix = folder.substr(0, next);
      pos = next == std::string::npos ? folder.size() : next;
      if (prefix.empty() || prefix.back() == '/') continue;
      struct stat st {};
      if (::lstat(prefix.c_str(), &st) != 0) return false;  // nothing further exists
      if (S_ISLNK(st.st_mode)) return true;
    }
    return false;
  }
};

}  // namespace

char PathSeparator() { return '/'; }

std::unique_ptr<FileTree> MakeFileTree() { return std::make_unique<PosixFileTree>(); }

}  // namespace rk5::platform
