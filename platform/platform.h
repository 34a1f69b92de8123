// The operating-system services the core relies on: global memory blocks, MIDI output, the
// multimedia timer, whole-file reading and module resources. Names, arguments, results and
// constants follow the Windows originals so that the Win32 build forwards one to one; the
// posix build and the test fake implement the same contract.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define QUAVR_CALLBACK __stdcall
#else
#define QUAVR_CALLBACK
#endif

namespace quavr::platform {

using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
using MMRESULT = std::uint32_t;
using LPVOID = void*;

// Handles the core stores in its 32-bit record fields. 0 is never a valid handle.
using HGLOBAL = std::uint32_t;
using HMIDIOUT = std::uint32_t;

// Handles that never leave the platform layer's callers' stack frames.
using HANDLE = void*;
using HMODULE = void*;
using HRSRC = const void*;
using HRESDATA = const void*;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// ---- Global memory -------------------------------------------------------------------------
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GMEM_DDESHARE = 0x2000;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GMEM_LOCKCOUNT = 0x00FF;
inline constexpr UINT GMEM_INVALID_HANDLE = 0x8000;

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Resolves a block: its address, or null for 0, a freed or a forged handle.
LPVOID GlobalLock(HGLOBAL block);
// Releases one resolve; false once the block is no longer resolved (or the handle is bad).
BOOL GlobalUnlock(HGLOBAL block);
// 0 when freed; the handle itself when it could not be freed.
HGLOBAL GlobalFree(HGLOBAL block);
// The block's lock count in GMEM_LOCKCOUNT plus its flags; GMEM_INVALID_HANDLE for a bad handle.
UINT GlobalFlags(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);
// The handle of the block a resolved address belongs to, or 0.
HGLOBAL GlobalHandle(const void* address);

// ---- MIDI output ---------------------------------------------------------------------------
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
inline constexpr MMRESULT MMSYSERR_INVALIDALIAS = 13;
inline constexpr MMRESULT MMSYSERR_BADDB = 14;
inline constexpr MMRESULT MMSYSERR_KEYNOTFOUND = 15;
inline constexpr MMRESULT MMSYSERR_READERROR = 16;
inline constexpr MMRESULT MMSYSERR_WRITEERROR = 17;
inline constexpr MMRESULT MMSYSERR_DELETEERROR = 18;
inline constexpr MMRESULT MMSYSERR_VALNOTFOUND = 19;
inline constexpr MMRESULT MMSYSERR_NODRIVERCB = 20;
inline constexpr MMRESULT MMSYSERR_MOREDATA = 21;
inline constexpr MMRESULT MMSYSERR_LASTERROR = 21;
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
inline constexpr MMRESULT MIDIERR_NOMAP = 66;
inline constexpr MMRESULT MIDIERR_NOTREADY = 67;
inline constexpr MMRESULT MIDIERR_NODEVICE = 68;
inline constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
inline constexpr MMRESULT MIDIERR_BADOPENMODE = 70;
inline constexpr MMRESULT MIDIERR_DONT_CONTINUE = 71;
inline constexpr MMRESULT MIDIERR_LASTERROR = 71;

inline constexpr UINT MIDI_MAPPER = 0xFFFFFFFFu;
inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000u;
inline constexpr UINT MOM_OPEN = 967;
inline constexpr UINT MOM_CLOSE = 968;
inline constexpr UINT MOM_DONE = 969;

inline constexpr DWORD MHDR_DONE = 0x01;
inline constexpr DWORD MHDR_PREPARED = 0x02;
inline constexpr DWORD MHDR_INQUEUE = 0x04;

// The long-message header. It is exactly 64 bytes where pointers are 32 bits wide. Windows packs
// it to the byte (mmsystem.h), which moves the fields after a DWORD where pointers are 64 bits.
#if defined(_WIN32)
#pragma pack(push, 1)
#endif
struct MIDIHDR {
  char* lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  MIDIHDR* lpNext;
  DWORD_PTR reserved;
  DWORD dwOffset;
  DWORD_PTR dwReserved[8];
};
#if defined(_WIN32)
#pragma pack(pop)
#endif
static_assert(sizeof(void*) != 4 || sizeof(MIDIHDR) == 64);
inline constexpr UINT kMidiHdrSize = sizeof(MIDIHDR);

using MidiOutProc = void(QUAVR_CALLBACK*)(HMIDIOUT port, UINT message, DWORD_PTR instance,
                                          DWORD_PTR param1, DWORD_PTR param2);

UINT midiOutGetNumDevs();
MMRESULT midiOutOpen(HMIDIOUT* port, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags);
MMRESULT midiOutClose(HMIDIOUT port);
MMRESULT midiOutReset(HMIDIOUT port);
MMRESULT midiOutShortMsg(HMIDIOUT port, DWORD message);
MMRESULT midiOutPrepareHeader(HMIDIOUT port, MIDIHDR* header, UINT headerSize);
MMRESULT midiOutLongMsg(HMIDIOUT port, MIDIHDR* header, UINT headerSize);
MMRESULT midiOutUnprepareHeader(HMIDIOUT port, MIDIHDR* header, UINT headerSize);
MMRESULT midiOutGetErrorTextA(MMRESULT error, char* text, UINT textSize);
// No Windows original: a text about the output devices, by snprintf's rules (`text` may be null
// when `textSize` is 0): its full length, or -1 when there is none. Kinds: a device's name in
// full (DEVICE_TEXT_NAME, by device number), the `index`-th device left out of the list and why
// (DEVICE_TEXT_UNLISTED), the first error an output device met with its file (DEVICE_TEXT_ERROR,
// index 0).
inline constexpr UINT DEVICE_TEXT_NAME = 0;
inline constexpr UINT DEVICE_TEXT_UNLISTED = 1;
inline constexpr UINT DEVICE_TEXT_ERROR = 2;
int deviceText(UINT kind, UINT index, char* text, UINT textSize);

// ---- Multimedia timer ----------------------------------------------------------------------
inline constexpr MMRESULT TIMERR_NOERROR = 0;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;
inline constexpr UINT TIME_ONESHOT = 0;
inline constexpr UINT TIME_PERIODIC = 1;

struct TIMECAPS {
  UINT wPeriodMin;
  UINT wPeriodMax;
};
static_assert(sizeof(TIMECAPS) == 8);

using TimeProc = void(QUAVR_CALLBACK*)(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR param1,
                                       DWORD_PTR param2);

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT capsSize);
MMRESULT timeBeginPeriod(UINT periodMs);
MMRESULT timeEndPeriod(UINT periodMs);
// A nonzero timer id, or 0 when no timer was created.
UINT timeSetEvent(UINT delayMs, UINT resolutionMs, TimeProc callback, DWORD_PTR user, UINT flags);
MMRESULT timeKillEvent(UINT timerId);

// ---- Render synthesizer -------------------------------------------------------------------
// No Windows original: a synthesizer with no audio output of its own, which a render device
// pulls audio from. One caller at a time per synthesizer (the device's lock); none of these
// allocates or blocks once opened, so they can run on a host's audio thread.
using HRENDER = std::uint32_t;

// Opens a synthesizer rendering at `sampleRate` Hz with `soundfont` (null: the platform's
// default), with its reverb and chorus or, `effects` false, without them. MMSYSERR_NODRIVER where
// the platform has no synthesizer; on failure `why` (when `whySize` is not 0) holds a text naming
// the file and the cause.
MMRESULT renderOpen(HRENDER* synth, UINT sampleRate, const char* soundfont, bool effects, char* why,
                    UINT whySize);
MMRESULT renderClose(HRENDER synth);
// A short message packed as midiOutShortMsg takes it; it sounds from the next frame written.
MMRESULT renderShortMsg(HRENDER synth, DWORD message);
// A long message's bytes (system exclusive, or a stream of messages).
MMRESULT renderLongMsg(HRENDER synth, const std::uint8_t* bytes, DWORD length);
// The next `frames` stereo frames, interleaved floats, into `out`.
MMRESULT renderWrite(HRENDER synth, float* out, UINT frames);

// ---- Files ---------------------------------------------------------------------------------
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_TYPE_UNKNOWN = 0;
inline constexpr DWORD FILE_TYPE_DISK = 1;
inline constexpr DWORD FILE_TYPE_CHAR = 2;
inline constexpr DWORD FILE_TYPE_PIPE = 3;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security, DWORD creation,
                   DWORD attributes, HANDLE templateFile);
DWORD GetFileType(HANDLE file);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* bytesRead, void* overlapped);
BOOL CloseHandle(HANDLE file);

// ---- Module resources ----------------------------------------------------------------------
inline constexpr std::uintptr_t RT_RCDATA = 10;

// Integer resource ids travel in the name pointer, as MAKEINTRESOURCE makes them.
inline const char* MAKEINTRESOURCEA(std::uint16_t id) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
}
inline bool IS_INTRESOURCE(const void* name) {
  return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

HRSRC FindResourceA(HMODULE module, const char* name, const char* type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HRESDATA LoadResource(HMODULE module, HRSRC resource);
const void* LockResource(HRESDATA data);

}  // namespace quavr::platform
