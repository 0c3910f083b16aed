#include "platform/file_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace rk5::platform {
namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeOne(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  // Someone else may have made it meanwhile; a file of that name is a failure.
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
    if (IsFolder(path)) return true;
    // Each prefix ending before a separator, then the whole path; a leading "/" is the root.
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
         pos = path.find('/', pos + 1)) {
      if (path[pos - 1] == '/') continue;
      std::string prefix = path.substr(0, pos);
      if (!IsFolder(prefix) && !MakeOne(prefix)) return false;
    }
    return MakeOne(path);
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
