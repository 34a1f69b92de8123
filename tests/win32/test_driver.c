/* winequavrtest.drv: a MIDI output driver for Wine's winmm that records what it receives, one
 * line per message in the monitor's format, into the file named by QUAVR_MONITOR_LOG. Each long
 * message is completed at once through DriverCallback, as a driver may.
 * Wine's winmm takes its MIDI driver from the audio driver that mmdevapi chose (the registry's
 * Audio value), so this one also answers mmdevapi: it is preferred, and it has no endpoints. */
#include <windows.h>

#include <mmsystem.h>

#include <mmddk.h>
#include <stdio.h>
#include <string.h>

/* Exported by plain name (linked with --kill-at): winmm asks for them so. */
#define EXPORT __declspec(dllexport)

BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                           DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2);

static MIDIOPENDESC opened;
static DWORD callbackType;
static DWORD openedAt;
static CRITICAL_SECTION lock;
static LONG lockReady;

static void record(const char* line) {
  char path[MAX_PATH];
  FILE* out;
  if (!GetEnvironmentVariableA("QUAVR_MONITOR_LOG", path, sizeof path)) return;
  EnterCriticalSection(&lock);
  out = fopen(path, "a");
  if (out) {
    fprintf(out, "%lu %s\n", (unsigned long)(timeGetTime() - openedAt), line);
    fclose(out);
  }
  LeaveCriticalSection(&lock);
}

static void notify(UINT message, DWORD_PTR param1) {
  DriverCallback(opened.dwCallback, callbackType, (HDRVR)opened.hMidi, message, opened.dwInstance,
                 param1, 0);
}

EXPORT int WINAPI GetPriority(void) {
  return 3; /* preferred */
}

EXPORT HRESULT WINAPI GetEndpointIDs(int flow, WCHAR*** ids, GUID** guids, UINT* count,
                                     UINT* defaultIndex) {
  (void)flow;
  *ids = NULL;
  *guids = NULL;
  *count = 0;
  *defaultIndex = 0;
  return S_OK;
}

EXPORT HRESULT WINAPI GetAudioEndpoint(void* key, void* device, void** out) {
  (void)key;
  (void)device;
  *out = NULL;
  return E_NOTIMPL;
}

EXPORT HRESULT WINAPI GetAudioSessionManager(void* device, void** out) {
  (void)device;
  *out = NULL;
  return E_NOTIMPL;
}

EXPORT LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM param1,
                                 LPARAM param2) {
  (void)id;
  (void)driver;
  (void)param1;
  (void)param2;
  if (message == DRV_LOAD && InterlockedExchange(&lockReady, 1) == 0)
    InitializeCriticalSection(&lock);
  return 1;
}

EXPORT DWORD WINAPI modMessage(UINT device, UINT message, DWORD_PTR user, DWORD_PTR param1,
                               DWORD_PTR param2) {
  char line[3 * 65536 + 16];
  (void)user;
  if (message != MODM_GETNUMDEVS && message != DRVM_INIT && device != 0)
    return MMSYSERR_BADDEVICEID;
  switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
      return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
      return 1;
    case MODM_GETDEVCAPS: {
      MIDIOUTCAPSW caps;
      memset(&caps, 0, sizeof caps);
      caps.wMid = 0xFF;
      caps.wPid = 1;
      lstrcpyW(caps.szPname, L"Quavr Test Port");
      caps.wTechnology = MOD_MIDIPORT;
      caps.wChannelMask = 0xFFFF;
      memcpy((void*)param1, &caps, param2 < sizeof caps ? param2 : sizeof caps);
      return MMSYSERR_NOERROR;
    }
    case MODM_OPEN:
      opened = *(LPMIDIOPENDESC)param1;
      callbackType = HIWORD(param2 & CALLBACK_TYPEMASK);
      openedAt = timeGetTime();
      notify(MOM_OPEN, 0);
      return MMSYSERR_NOERROR;
    case MODM_DATA:
      sprintf(line, "short %08lX", (unsigned long)param1);
      record(line);
      return MMSYSERR_NOERROR;
    case MODM_LONGDATA: {
      MIDIHDR* header = (MIDIHDR*)param1;
      DWORD i, n = header->dwBufferLength < 65536 ? header->dwBufferLength : 65536;
      strcpy(line, "long");
      for (i = 0; i < n; ++i) sprintf(line + 4 + 3 * i, " %02X", (unsigned char)header->lpData[i]);
      record(line);
      header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
      notify(MOM_DONE, (DWORD_PTR)header);
      return MMSYSERR_NOERROR;
    }
    case MODM_RESET:
      record("reset");
      return MMSYSERR_NOERROR;
    case MODM_CLOSE:
      notify(MOM_CLOSE, 0);
      return MMSYSERR_NOERROR;
    default:
      return MMSYSERR_NOTSUPPORTED;
  }
}
