#pragma once
// Whole-file copies that never leave a half-written target: the copy is written beside
// the target, flushed and renamed over it in one step.
#include <memory>
#include <string>

namespace rk5::platform {

class FileCopy {
 public:
  virtual ~FileCopy() = default;
  // Copies source to target. A target that is an existing folder gets source's file
  // name. make_executable: the copy may be run by whoever may read it. False when source
  // is not a readable file or any read or write failed; the old target then stays as it
  // was and nothing else is left behind.
  virtual bool Copy(const std::string& source, const std::string& target,
                    bool make_executable) = 0;
};

// creation_mask: the user's file-creation mask (see creation_mask.h).
std::unique_ptr<FileCopy> MakeFileCopy(unsigned creation_mask);
// With the mask as the system tells it at each copy, which is safe from any thread.
std::unique_ptr<FileCopy> MakeFileCopy();

}  // namespace rk5::platform
