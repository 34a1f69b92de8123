#include "platform/win32/win32.h"

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
// Drivers differ in what their reset releases: the pedals go off first, so no note hangs on
// sostenuto, soft or hold 2 after a pause or stop (sustain too, whatever the driver does).
MMRESULT midiOutReset(HMIDIOUT port) {
  static constexpr ::DWORD kPedals[] = {0x40, 0x42, 0x43, 0x45};
  for (::DWORD channel = 0; channel < 16; ++channel) {
    for (const ::DWORD pedal : kPedals) {
      ::midiOutShortMsg(native<::HMIDIOUT>(port), (0xB0 | channel) | pedal << 8);
    }
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
