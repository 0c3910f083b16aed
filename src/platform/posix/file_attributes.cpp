#include "platform/file_attributes.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace rk5::platform {
namespace {

// The process's file-creation mask. The kernel tells it without changing it; asking
// umask() itself means setting it for a moment, when another thread may create a file.
mode_t CreationMask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  const mode_t mask = ::umask(077);
  ::umask(mask);
  return mask;
}

class PosixFileAttributes final : public FileAttributes {
 public:
  bool SetPermissionBits(const std::string& path, unsigned bits) override {
    const mode_t mode = static_cast<mode_t>(bits & 0777) & ~CreationMask();
    return ::chmod(path.c_str(), mode) == 0;
  }

  bool SetReadOnly(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777 & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return ::chmod(path.c_str(), mode) == 0;
  }
};

}  // namespace

std::unique_ptr<FileAttributes> MakeFileAttributes() {
  return std::make_unique<PosixFileAttributes>();
}

}  // namespace rk5::platform
