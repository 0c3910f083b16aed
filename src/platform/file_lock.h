#pragma once
// A cross-process advisory lock, held by one process at a time and dropped by the kernel
// when its holder dies, so a crashed copy never blocks the others. It locks a companion
// file (name + ".lock") so that replacing the locked file by rename does not undo it.
#include <memory>
#include <string>

namespace rk5::platform {

class FileLock {
 public:
  // Blocks until the lock is held. When the lock file cannot be made (a folder without
  // write access) the lock is not held; a write there fails on its own.
  explicit FileLock(const std::string& locked_file);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return held_ != nullptr; }

 private:
  struct Held;  // what this system holds the lock by
  std::unique_ptr<Held> held_;
};

}  // namespace rk5::platform
