#include "platform/file_attributes.h"

#include <sys/stat.h>

#include "platform/posix/creation_mask.h"

namespace rk5::platform {
namespace {

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
