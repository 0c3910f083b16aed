#include "platform/posix/creation_mask.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace rk5::platform {

mode_t CreationMask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
  }
  // Kernels before 4.7 do not say; then the brief change is all there is.
  const mode_t mask = ::umask(077);
  ::umask(mask);
  return mask;
}

}  // namespace rk5::platform
