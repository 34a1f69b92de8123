#include "platform/win32/win32.h"

#include "platform/common/copy_out.h"
#include "platform/common/pedal_release.h"

namespace quavr::platform {

namespace {

::LPMIDIHDR native(MIDIHDR* header) {
  return reinterpret_cast<::LPMIDIHDR>(header);
}

#if defined(_WIN64)

// A 64-bit port handle does not fit the seam's 32 bits: each open port is a block holding the
// Windows handle and the caller's callback, and the block's handle is the seam's. The driver
// calls forward(), which calls the caller back with that handle.
struct Port {
  ::HMIDIOUT native;
  MidiOutProc callback;  // null: the caller asked for no callback function
  DWORD_PTR instance;
};

// Set before the port opens and never changed, so the driver's thread reads them unlocked.
void CALLBACK forward(::HMIDIOUT, UINT message, DWORD_PTR port, DWORD_PTR param1,
                      DWORD_PTR param2) {
  const auto handle = static_cast<HMIDIOUT>(port);
  const auto* record = static_cast<const Port*>(GlobalLock(handle));
  if (record == nullptr) return;
  const MidiOutProc callback = record->callback;
  const DWORD_PTR instance = record->instance;
  GlobalUnlock(handle);
  if (callback != nullptr) callback(handle, message, instance, param1, param2);
}

::HMIDIOUT nativePort(HMIDIOUT port) {
  const auto* record = static_cast<const Port*>(GlobalLock(port));
  if (record == nullptr) return nullptr;
  const ::HMIDIOUT handle = record->native;
  GlobalUnlock(port);
  return handle;
}

MMRESULT open(HMIDIOUT* port, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  const HGLOBAL block = GlobalAlloc(GHND, sizeof(Port));
  auto* record = static_cast<Port*>(GlobalLock(block));
  if (record == nullptr) {
    GlobalFree(block);
    return MMSYSERR_NOMEM;
  }
  const bool function = (flags & CALLBACK_TYPEMASK) == CALLBACK_FUNCTION;
  record->callback = function ? reinterpret_cast<MidiOutProc>(callback) : nullptr;
  record->instance = instance;
  ::HMIDIOUT opened = nullptr;
  const MMRESULT result =
      ::midiOutOpen(&opened, deviceId, function ? reinterpret_cast<DWORD_PTR>(&forward) : callback,
                    function ? DWORD_PTR{block} : instance, flags);
  record->native = opened;
  GlobalUnlock(block);
  if (result != MMSYSERR_NOERROR) {
    GlobalFree(block);
    return result;
  }
  *port = block;
  return result;
}

MMRESULT close(HMIDIOUT port) {
  const ::HMIDIOUT handle = nativePort(port);
  if (handle == nullptr) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = ::midiOutClose(handle);
  // A port that stays open keeps its record: its driver may still call back.
  if (result == MMSYSERR_NOERROR) GlobalFree(port);
  return result;
}

#else

// 32-bit: Windows' own port handles, 32 bits wide, and its calls straight to the caller.
::HMIDIOUT nativePort(HMIDIOUT port) {
  return win32::native<::HMIDIOUT>(port);
}

MMRESULT open(HMIDIOUT* port, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  ::HMIDIOUT opened = nullptr;
  const MMRESULT result = ::midiOutOpen(&opened, deviceId, callback, instance, flags);
  if (result == MMSYSERR_NOERROR) *port = win32::narrow(opened);
  return result;
}

MMRESULT close(HMIDIOUT port) {
  return ::midiOutClose(nativePort(port));
}

#endif

}  // namespace

UINT midiOutGetNumDevs() {
  return ::midiOutGetNumDevs();
}

MMRESULT midiOutOpen(HMIDIOUT* port, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
  return open(port, deviceId, callback, instance, flags);
}

MMRESULT midiOutClose(HMIDIOUT port) {
  return close(port);
}
// Drivers differ in what their reset releases: the pedals go off first.
MMRESULT midiOutReset(HMIDIOUT port) {
  const ::HMIDIOUT handle = nativePort(port);
  for (std::uint32_t i = 0; i < QUAVR_PEDAL_RELEASE_COUNT; ++i) {
    ::midiOutShortMsg(handle, quavrPedalRelease(i));
  }
  return ::midiOutReset(handle);
}

MMRESULT midiOutShortMsg(HMIDIOUT port, DWORD message) {
  return ::midiOutShortMsg(nativePort(port), message);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT port, MIDIHDR* header, UINT size) {
  return ::midiOutPrepareHeader(nativePort(port), native(header), size);
}

MMRESULT midiOutLongMsg(HMIDIOUT port, MIDIHDR* header, UINT size) {
  return ::midiOutLongMsg(nativePort(port), native(header), size);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT port, MIDIHDR* header, UINT size) {
  return ::midiOutUnprepareHeader(nativePort(port), native(header), size);
}

int deviceText(UINT kind, UINT index, char* text, UINT size) {
  MIDIOUTCAPSA caps{};
  if (kind != DEVICE_TEXT_NAME || ::midiOutGetDevCapsA(index, &caps, sizeof caps) != 0) return -1;
  return copyOut(caps.szPname, text, size);
}

MMRESULT midiOutGetErrorTextA(MMRESULT error, char* text, UINT size) {
  return ::midiOutGetErrorTextA(error, text, size);
}

}  // namespace quavr::platform
