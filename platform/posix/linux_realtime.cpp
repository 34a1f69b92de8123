#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

#include "platform/posix/linux_only.h"

namespace quavr::platform::posix {

bool raiseTimerThreadPriority() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace quavr::platform::posix
