#include "platform/posix/staged_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/file_descriptor.h"

namespace rk5::platform {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The staged file was made with 0666 less the creation mask; reading the mask back from
// it avoids changing the process-wide mask, which other threads might be using. Who may
// read the file may run it.
mode_t ModeFor(mode_t created, bool executable) {
  mode_t mode = created & 0644;
  if (executable) mode |= (mode & 0444) >> 2;
  return mode;
}

}  // namespace

bool CommitStaged(StagedFile& staged, bool executable) {
  if (!staged.Close()) return false;
  {
    const FileDescriptor file(::open(staged.TempPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (!file.valid() || ::fstat(file.get(), &st) != 0 ||
        ::fchmod(file.get(), ModeFor(st.st_mode & 0777, executable)) != 0 ||
        ::fsync(file.get()) != 0) {
      return false;
    }
  }
  if (!staged.MoveOverTarget()) return false;
  const FileDescriptor folder(::open(FolderOf(staged.Target()).c_str(),
                                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());  // the rename itself reaches the disk
  return true;
}

}  // namespace rk5::platform
