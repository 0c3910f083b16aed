#include "platform/file_attributes.h"

#include <sys/stat.h>

#include <optional>

#include "platform/creation_mask.h"

namespace rk5::platform {
namespace {

class PosixFileAttributes final : public FileAttributes {
 public:
  // Without a mask, the one the system tells at each change.
  explicit PosixFileAttributes(std::optional<unsigned> creation_mask) : mask_(creation_mask) {}

  bool SetPermissionBits(const std::string& path, unsigned bits) override {
    const unsigned mask = mask_ ? *mask_ : CreationMaskNow();
    const mode_t mode = static_cast<mode_t>(bits & 0777 & ~mask);
    return ::chmod(path.c_str(), mode) == 0;
  }

  bool SetReadOnly(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777 & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return ::chmod(path.c_str(), mode) == 0;
  }

 private:
  std::optional<unsigned> mask_;
};

}  // namespace

std::unique_ptr<FileAttributes> MakeFileAttributes(unsigned creation_mask) {
  return std::make_unique<PosixFileAttributes>(creation_mask);
}

std::unique_ptr<FileAttributes> MakeFileAttributes() {
  return std::make_unique<PosixFileAttributes>(std::nullopt);
}

}  // namespace rk5::platform
