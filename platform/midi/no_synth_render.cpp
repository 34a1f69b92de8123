// A build without the synthesizer: render devices are messages only.
#include <cstdio>

#include "platform/platform.h"

namespace quavr::platform {

MMRESULT renderOpen(HRENDER*, UINT, const char*, char* why, UINT whySize) {
  if (why != nullptr && whySize != 0) std::snprintf(why, whySize, "built without a synthesizer");
  return MMSYSERR_NODRIVER;
}
MMRESULT renderClose(HRENDER) {
  return MMSYSERR_INVALHANDLE;
}
MMRESULT renderShortMsg(HRENDER, DWORD) {
  return MMSYSERR_INVALHANDLE;
}
MMRESULT renderLongMsg(HRENDER, const std::uint8_t*, DWORD) {
  return MMSYSERR_INVALHANDLE;
}
MMRESULT renderWrite(HRENDER, float*, UINT) {
  return MMSYSERR_INVALHANDLE;
}

}  // namespace quavr::platform
