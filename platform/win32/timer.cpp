#include "platform/win32/win32.h"

namespace quavr::platform {

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT size) {
  return ::timeGetDevCaps(reinterpret_cast<::LPTIMECAPS>(caps), size);
}
MMRESULT timeBeginPeriod(UINT period) {
  return ::timeBeginPeriod(period);
}
MMRESULT timeEndPeriod(UINT period) {
  return ::timeEndPeriod(period);
}

UINT timeSetEvent(UINT delay, UINT resolution, TimeProc callback, DWORD_PTR user, UINT flags) {
  return ::timeSetEvent(delay, resolution, reinterpret_cast<::LPTIMECALLBACK>(callback), user,
                        flags);
}

MMRESULT timeKillEvent(UINT timer) {
  return ::timeKillEvent(timer);
}

}  // namespace quavr::platform
