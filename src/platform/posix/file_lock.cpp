#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "platform/posix/file_descriptor.h"

namespace rk5::platform {
namespace {

// Between tries while another copy holds the lock: short at first, since most writes
// take milliseconds, then longer so that a long wait costs no processor time.
constexpr std::chrono::milliseconds kFirstPause{1};
constexpr std::chrono::milliseconds kLongestPause{50};

}  // namespace

struct FileLock::Held {
  FileDescriptor fd;
};

FileLock::FileLock(const std::string& locked_file, std::chrono::milliseconds wait) {
  const std::string name = locked_file + ".lock";
  // Not through a link (a planted one would make us create or lock its target), and not
  // waiting on a pipe; taken on a descriptor open for writing.
  auto lock = std::make_unique<Held>(FileDescriptor(::open(
      name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600)));
  const int fd = lock->fd.get();
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return;

  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::chrono::milliseconds pause = kFirstPause;
  // flock belongs to the open file description: closing another descriptor of the same
  // file elsewhere in the process does not release it.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, kLongestPause);
  }
  held_ = std::move(lock);
}

FileLock::~FileLock() = default;

}  // namespace rk5::platform
