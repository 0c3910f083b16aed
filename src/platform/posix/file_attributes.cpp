#include "platform/file_attributes.h"

#include <sys/stat.h>

#include "platform/creation_mask.h"

namespace rk5::platform {
namespace {

class PosixFileAttributes final : public FileAttributes {
 public:
  explicit PosixFileAttributes(unsigned creation_mask)
      : mask_(static_cast<mode_t>(creation_mask)) {}

  bool SetPermissionBits(const std::string& path, unsigned bits) override {
    const mode_t mode = static_cast<mode_t>(bits & 0777) & ~mask_;
    return ::chmod(path.c_str(), mode) == 0;
  }

  bool SetReadOnly(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777 & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return ::chmod(path.c_str(), mode) == 0;
  }

 private:
  mode_t mask_;
};

}  // namespace

std::unique_ptr<FileAttributes> MakeFileAttributes(unsigned creation_mask) {
  return std::make_unique<PosixFileAttributes>(creation_mask);
}

std::unique_ptr<FileAttributes> MakeFileAttributes() {
  return MakeFileAttributes(CreationMaskNow());
}

}  // namespace rk5::platform
