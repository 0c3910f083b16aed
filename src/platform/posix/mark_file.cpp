#include "platform/posix/mark_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace rk5::platform {
namespace {

// OFD locks: held by the open file (not the process), dropped when it is closed or its
// holder ends, and testable without taking them.
bool SetLock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool NamesThisFile(int folder, const std::string& name, int fd) {
  struct stat named {}, open {};
  return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(fd, &open) == 0 && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

}  // namespace

MarkFile LockMarkFile(int folder, const std::string& name, bool exclusive) {
  // A holder that lets go removes the file; a lock taken on the file just removed would
  // mark nothing, so the name is opened again until the lock is on the file it names.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    FileDescriptor fd(::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) return {};
    if (!SetLock(fd.get(), exclusive ? F_WRLCK : F_RDLCK)) {
      if (errno == EAGAIN || errno == EACCES) return {MarkLock::kHeldElsewhere, {}};
      return {};
    }
    if (NamesThisFile(folder, name, fd.get())) return {MarkLock::kHeld, std::move(fd)};
  }
  return {};
}

void ReleaseExclusiveMark(int folder, const std::string& name, FileDescriptor& fd) {
  // Removed while still locked: nobody can take this file any more, and a copy that
  // opened it just before finds that out once it has the lock.
  ::unlinkat(folder, name.c_str(), 0);
  fd.Reset();
}

void ReleaseSharedMark(int folder, const std::string& name, FileDescriptor& fd) {
  // Only the last holder can turn its lock exclusive; a failed attempt keeps the shared one.
  if (SetLock(fd.get(), F_WRLCK)) ::unlinkat(folder, name.c_str(), 0);
  fd.Reset();
}

bool IsMarkHeld(int folder, const std::string& name) {
  const FileDescriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (::fcntl(fd.get(), F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

}  // namespace rk5::platform
