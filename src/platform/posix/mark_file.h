#pragma once
// Lock files that mark who holds what: a lock the kernel drops when its holder ends, on a
// file that the last holder removes as it lets go, so files do not pile up.
#include <string>

#include "platform/formats/mark_file_name.h"
#include "platform/posix/file_descriptor.h"

namespace rk5::platform {

enum class MarkLock { kHeld, kHeldElsewhere, kFailed };

struct MarkFile {
  MarkLock state = MarkLock::kFailed;
  FileDescriptor fd;  // open while state is kHeld
};

// Locks the file name in the open folder, made when missing: exclusive, or shared with
// other shared holders. The lock is on the file the name names once it is taken.
MarkFile LockMarkFile(int folder, const std::string& name, bool exclusive);

// Lets go of an exclusive mark, removing its file.
void ReleaseExclusiveMark(int folder, const std::string& name, FileDescriptor& fd);
// Lets go of a shared mark, removing its file when no other holder remains.
void ReleaseSharedMark(int folder, const std::string& name, FileDescriptor& fd);

// Whether anyone holds the exclusive mark name, asked without taking any lock, so that
// a probe can never make another copy's take fail.
bool IsMarkHeld(int folder, const std::string& name);

}  // namespace rk5::platform
