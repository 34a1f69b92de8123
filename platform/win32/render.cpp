// The DLL carries no synthesizer: a render device on Windows is messages only (its sink), and one
// asked for a soundfont is refused.
#include <cstdio>

#include "platform/platform.h"

namespace quavr::platform {

MMRESULT renderOpen(HRENDER*, UINT, const char*, char* why, UINT whySize) {
  if (why != nullptr && whySize != 0) {
    std::snprintf(why, whySize,
                  "QUAVR.DLL has no synthesizer: open render devices with the "
                  "\"\" soundfont and a message sink");
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
