#pragma once
// The last steps of a file written beside its target: permission bits set, the bytes on
// disk, then the move over the target, so that the target is the old file or the whole
// new one even after a crash.
#include "platform/staged_file.h"

namespace rk5::platform {

// The staged file gets 0644, or 0755 when executable, as far as this process's file
// creation mask lets it. False (the staged file left to its owner to discard) when a
// step failed.
bool CommitStaged(StagedFile& staged, bool executable);

}  // namespace rk5::platform
