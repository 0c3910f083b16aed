#include "platform/file_blocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace rk5::platform {

bool ReadFileBlocks(const std::string& path,
                    const std::function<bool(const char* data, std::size_t size)>& sink) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  std::vector<char> block(256 * 1024);
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, block.data(), block.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!sink(block.data(), static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace rk5::platform
