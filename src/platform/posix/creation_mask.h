#pragma once
// The process's file-creation mask (umask), read without changing it.
#include <sys/types.h>

namespace rk5::platform {

// umask() only tells the mask by setting another for a moment, during which a file that
// another thread (a fetch's worker, say) creates would get the wrong bits, or the two
// would leave the wrong mask behind; the kernel tells it without that.
mode_t CreationMask();

}  // namespace rk5::platform
