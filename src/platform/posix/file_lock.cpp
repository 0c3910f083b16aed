#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace rk5::platform {

struct FileLock::Held {
  explicit Held(int descriptor) : fd(descriptor) {}
  ~Held() { ::close(fd); }
  int fd;
};

FileLock::FileLock(const std::string& locked_file) {
  std::string name = locked_file + ".lock";
  int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // flock belongs to the open file description: closing another descriptor of the same
  // file elsewhere in the process does not release it.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return;
    }
  }
  held_ = std::make_unique<Held>(fd);
}

FileLock::~FileLock() = default;

}  // namespace rk5::platform
