#include "platform/thread_priority.h"

#include <windows.h>

namespace rk5::platform {

void RunOnlyOnIdleProcessors() { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_IDLE); }

}  // namespace rk5::platform
