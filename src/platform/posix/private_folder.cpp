#include "platform/posix/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rk5::platform {

FileDescriptor OpenPrivateFolder(int at, const std::string& path, bool create) {
  if (path.empty()) return {};
  if (create) ::mkdirat(at, path.c_str(), 0700);  // an existing one is checked below
  FileDescriptor folder(
      ::openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!folder.valid() || ::fstat(folder.get(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != ::geteuid() || (st.st_mode & 077) != 0 || (st.st_mode & S_IRWXU) != S_IRWXU) {
    return {};
  }
  return folder;
}

}  // namespace rk5::platform
