#pragma once
// The user's file-creation mask: the permission bits (0777 at most) new files do not get.
// The objects that set permission bits take it as made; main() reads it once at start.

namespace rk5::platform {

// The mask at start. On a system that can only tell it by setting another for a moment,
// a file that another thread created meanwhile would get the wrong bits: call it before
// any thread starts.
unsigned ReadCreationMaskAtStart();

// The mask as the system tells it without changing it, so from any thread; 077 (new
// files private) when the system cannot tell it that way.
unsigned CreationMaskNow();

}  // namespace rk5::platform
