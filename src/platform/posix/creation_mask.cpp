#include "platform/creation_mask.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace rk5::platform {
namespace {

constexpr unsigned kPrivate = 077;

// umask() only tells the mask by setting another; the kernel's status file tells it
// without that (kernels from 4.7 on).
std::optional<unsigned> MaskFromKernel() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<unsigned>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
  }
  return std::nullopt;
}

}  // namespace

unsigned ReadCreationMaskAtStart() {
  if (const std::optional<unsigned> mask = MaskFromKernel()) return *mask;
  const mode_t mask = ::umask(kPrivate);
  ::umask(mask);
  return static_cast<unsigned>(mask) & 0777;
}

unsigned CreationMaskNow() { return MaskFromKernel().value_or(kPrivate); }

}  // namespace rk5::platform
