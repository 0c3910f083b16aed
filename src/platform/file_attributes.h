#pragma once
// File attributes: Unix permission bits and the read-only attribute.
#include <memory>
#include <string>

namespace rk5::platform {

class FileAttributes {
 public:
  virtual ~FileAttributes() = default;
  // Read, write and execute bits for owner, group and others (0777 at most), less those
  // the user's file-creation mask withholds from new files.
  virtual bool SetPermissionBits(const std::string& path, unsigned bits) = 0;
  // Makes path read-only for everyone, keeping its other bits.
  virtual bool SetReadOnly(const std::string& path) = 0;
};

// creation_mask: the user's file-creation mask (see creation_mask.h).
std::unique_ptr<FileAttributes> MakeFileAttributes(unsigned creation_mask);
// With the mask as the system tells it at each change, which is safe from any thread.
std::unique_ptr<FileAttributes> MakeFileAttributes();

}  // namespace rk5::platform
