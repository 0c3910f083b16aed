#pragma once
// A cross-process advisory lock, held by one process at a time and dropped by the kernel
// when its holder dies, so a crashed copy never blocks the others. It locks a companion
// file (name + ".lock") so that replacing the locked file by rename does not undo it.
//
// It fails closed: the lock is held only on a regular lock file of the user's own, never
// through a link, so neither another user nor a planted folder or link can hold it or
// make a write go ahead unlocked. A new lock file is readable and writable by its owner
// alone.
#include <chrono>
#include <memory>
#include <string>

namespace rk5::platform {

class FileLock {
 public:
  // Waits at most `wait` for a copy that holds the lock. Not held afterwards when the
  // wait ran out, or when the lock file cannot be made or is not such a file; the caller
  // must then not write.
  FileLock(const std::string& locked_file, std::chrono::milliseconds wait);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return held_ != nullptr; }

 private:
  struct Held;  // what this system holds the lock by
  std::unique_ptr<Held> held_;
};

}  // namespace rk5::platform
