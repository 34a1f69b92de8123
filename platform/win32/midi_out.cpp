#include "platform/win32/win32.h"

#include "platform/common/pedal_release.h"

namespace quavr::platform {

using win32::narrow;
using win32::native;

namespace {
::LPMIDIHDR native(MIDIHDR* header) {
  return reinterpret_cast<::LPMIDIHDR>(header);
}
}  // namespace

UINT midiOutGetNumDevs() {
  return ::midiOutGetNumDevs();
}

MMRESULT midiOutOpen(HMIDIOUT* port, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
  ::HMIDIOUT opened = nullptr;
  const MMRESULT result = ::midiOutOpen(&opened, deviceId, callback, instance, flags);
  if (result == MMSYSERR_NOERROR) *port = narrow(opened);
  return result;
}

MMRESULT midiOutClose(HMIDIOUT port) {
  return ::midiOutClose(native<::HMIDIOUT>(port));
}
// Drivers differ in what their reset releases: the pedals go off first.
MMRESULT midiOutReset(HMIDIOUT port) {
  for (std::uint32_t i = 0; i < QUAVR_PEDAL_RELEASE_COUNT; ++i) {
    ::midiOutShortMsg(native<::HMIDIOUT>(port), quavrPedalRelease(i));
  }
  return ::midiOutReset(native<::HMIDIOUT>(port));
}

MMRESULT midiOutShortMsg(HMIDIOUT port, DWORD message) {
  return ::midiOutShortMsg(native<::HMIDIOUT>(port), message);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT port, MIDIHDR* header, UINT size) {
  return ::midiOutPrepareHeader(native<::HMIDIOUT>(port), native(header), size);
}

MMRESULT midiOutLongMsg(HMIDIOUT port, MIDIHDR* header, UINT size) {
  return ::midiOutLongMsg(native<::HMIDIOUT>(port), native(header), size);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT port, MIDIHDR* header, UINT size) {
  return ::midiOutUnprepareHeader(native<::HMIDIOUT>(port), native(header), size);
}

MMRESULT midiOutGetErrorTextA(MMRESULT error, char* text, UINT size) {
  return ::midiOutGetErrorTextA(error, text, size);
}

}  // namespace quavr::platform
