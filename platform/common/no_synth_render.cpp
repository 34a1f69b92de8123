// A platform without a synthesizer (QUAVR.DLL, a Linux build without FluidSynth): render devices
// are messages only, and one asked for a soundfont is refused. Not in quavr_platform_common,
// which the test fake links beside its own synthesizers: each platform that needs it adds it.
#include <cstdio>

#include "platform/platform.h"

namespace quavr::platform {

MMRESULT renderOpen(HRENDER*, UINT, const char*, bool, char* why, UINT whySize) {
  if (why != nullptr && whySize != 0) {
    std::snprintf(why, whySize,
                  "this build has no synthesizer: render devices take the \"\" soundfont and a "
                  "message sink");
  }
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
