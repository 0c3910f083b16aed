#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace rk5::platform {

void RunOnlyOnIdleProcessors() {
  const sched_param none{};
  ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &none);
}

}  // namespace rk5::platform
