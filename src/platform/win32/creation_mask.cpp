#include "platform/creation_mask.h"

namespace rk5::platform {

// No file-creation mask here: a new file gets its folder's inherited access, and the one
// permission bit a file carries, read-only, is set on purpose only.
unsigned ReadCreationMaskAtStart() { return 0; }
unsigned CreationMaskNow() { return 0; }

}  // namespace rk5::platform
