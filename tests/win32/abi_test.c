/* QUAVR.DLL as any host sees it: loaded at run time, its exports found by name and by ordinal,
 * each function called through a __stdcall pointer, uMidiStatus read as data, and the version
 * resource read back. Runs with no MIDI driver registered. Prints a line per check; exits 1 on
 * any failure. The 32-bit DLL exports stdcall-decorated names, the 64-bit one the plain names. */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "include/quavr.h"

/* The layout every build shares: the header's, checked here as a 32-bit host compiles it. */
_Static_assert(sizeof(QuavrSongEvent) == 32 && offsetof(QuavrSongEvent, length) == 12 &&
                   offsetof(QuavrSongEvent, endMs) == 16 &&
                   offsetof(QuavrSongEvent, status) == 24 && offsetof(QuavrSongEvent, data) == 26 &&
                   offsetof(QuavrSongEvent, reserved) == 28,
               "QuavrSongEvent is 32 bytes, its fields where the 64-bit library has them");

static int failures;

static void check(int ok, const char* what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

#ifdef _WIN64
#define EXPORT(name, bytes) #name
#define OTHER_NAME \
  "_bgmStop"       \
  "@4"
#else
#define EXPORT(name, bytes) "_" #name "@" #bytes
#define OTHER_NAME "bgmStop"
#endif

/* What GetProcAddress finds, as the one function type every other converts from. */
typedef void (*Proc)(void);
static Proc find(HMODULE dll, const char* name) {
  return (Proc)GetProcAddress(dll, name);
}

typedef uint32_t(__stdcall* Fn1)(uint32_t);
typedef uint32_t(__stdcall* Fn2)(uint32_t, uint32_t);
typedef uint32_t(__stdcall* Fn3)(uint32_t, uint32_t, uint32_t);
typedef uint32_t(__stdcall* Fn4)(uint32_t, uint32_t, uint32_t, uint32_t);
typedef uint32_t(__stdcall* Fn5)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
/* The functions that take pointers, 64 bits wide on x64. */
typedef uint32_t(__stdcall* PathFn)(const char*);
typedef uint32_t(__stdcall* ResourceFn)(void*, const char*);
typedef uint32_t(__stdcall* BufferFn)(char*, uint32_t);
typedef uint32_t(__stdcall* MemoryFn)(const void*, uint32_t);
typedef int32_t(__stdcall* SongTextFn)(uint32_t, uint32_t, uint32_t, char*, uint32_t);

#define EXPORTS 20

/* What the sink of the render check saw. */
static struct {
  uint32_t messages, noteFrame, callFrames;
  int outside;
} seen;

static void __stdcall sink(void* user, uint32_t frame, const uint8_t* bytes, uint32_t length) {
  (void)user;
  ++seen.messages;
  if (frame >= seen.callFrames) seen.outside = 1;
  if (length == 3 && bytes[0] == 0x90 && bytes[2] != 0) seen.noteFrame = frame;
}

static uint32_t word(const unsigned char* at) {
  uint32_t value;
  memcpy(&value, at, 4);
  return value;
}

/* The song's events as the DLL writes them, read at the byte offsets of the 64-bit library: the
 * note-on at 250 ms (tick 250 at division 500) ending at 300, half into beat 0 of bar 0 (128), its
 * note-off, the end of track. */
static void check_song_events(HMODULE dll, uint32_t song) {
  typedef int32_t(__stdcall * Get)(uint32_t, uint32_t, void*, uint32_t);
  const Get events = (Get)find(dll, EXPORT(bgmGetSongEvents, 16));
  const Get data = (Get)find(dll, EXPORT(bgmGetSongEventData, 16));
  unsigned char raw[3][32];
  unsigned char bytes[4] = {1, 1, 1, 1};
  memset(raw, 0xAA, sizeof raw);
  check(events(song, 0, raw, 5) == 3, "bgmGetSongEvents copies the song's three events");
  check(word(raw[0]) == 250 && word(raw[0] + 4) == 250 && word(raw[0] + 8) == 0 &&
            word(raw[0] + 12) == 3 && word(raw[0] + 16) == 300 && word(raw[0] + 20) == 128u &&
            raw[0][24] == 0x90 && raw[0][25] == 0 && raw[0][26] == 60 && raw[0][27] == 100 &&
            word(raw[0] + 28) == 0,
        "the note-on: time, tick, track, length, end, bar and beat, status, data at their offsets");
  check(raw[1][24] == 0x80 && word(raw[1] + 16) == 0 && raw[2][24] == 0xFF && raw[2][25] == 0x2F &&
            word(raw[2] + 12) == 0,
        "the note-off, and the end of track as a meta event of no data");
  check(data(song, 0, bytes, sizeof bytes) == 3 && bytes[0] == 0x90 && bytes[2] == 100 &&
            bytes[3] == 0,
        "bgmGetSongEventData gives the note-on's bytes, NUL-terminated");
  check(events(song, 3, raw, 1) == 0 && events(0xDEAD0000u, 0, raw, 1) == -1 &&
            data(song, 3, bytes, sizeof bytes) == -1,
        "past the end nothing, and a bad song is refused");
}

/* A render device with no synthesizer: the DLL has none, so the "" soundfont works, messages
 * only, and any soundfont is refused with MMSYSERR_NODRIVER. A note 250 ms into a song at
 * 44100 Hz reaches the sink at frame 11025, inside a 16384-frame call in which the song ends;
 * the audio is silence. */
static void check_message_only_render(HMODULE dll) {
  typedef uint32_t(__stdcall * Open)(uint32_t, const char*);
  typedef int32_t(__stdcall * Render)(uint32_t, void*, uint32_t, uint32_t);
  typedef void(__stdcall * Sink)(void*, uint32_t, const uint8_t*, uint32_t);
  typedef int32_t(__stdcall * SetSink)(uint32_t, Sink, void*);
  const Open open = (Open)find(dll, EXPORT(bgmOpenRenderDev, 8));
  const Render render = (Render)find(dll, EXPORT(bgmRender, 16));
  const SetSink setSink = (SetSink)find(dll, EXPORT(bgmSetMessageSink, 12));
  const MemoryFn load = (MemoryFn)find(dll, EXPORT(bgmGetSongMem, 8));
  const Fn2 play = (Fn2)find(dll, EXPORT(bgmPlay, 8));
  const Fn1 close = (Fn1)find(dll, EXPORT(bgmCloseMidiDev, 4));
  const Fn1 remove = (Fn1)find(dll, EXPORT(bgmDeleteSong, 4));
  const Fn1 status = (Fn1)find(dll, EXPORT(bgmMidiStatus, 4));
  const Fn2 info = (Fn2)find(dll, EXPORT(bgmGetPlayInfo, 8));
  const Fn2 queueStop = (Fn2)find(dll, EXPORT(bgmQueueStop, 8));
  const Fn5 fadeChannels = (Fn5)find(dll, EXPORT(bgmFadeChannels, 20));
  /* Division 500 at the default tempo: a tick is a ms. Note on at 250, off at 300. */
  static const unsigned char song[] = {'M',  'T',  'h', 'd',  0,    0,    0,    6,   0,
                                       0,    0,    1,   0x01, 0xF4, 'M',  'T',  'r', 'k',
                                       0,    0,    0,   13,   0x81, 0x7A, 0x90, 60,  100,
                                       0x32, 0x80, 60,  0,    0x00, 0xFF, 0x2F, 0x00};
  static float audio[2 * 16384];
  uint32_t device, s;
  int i, silent = 1;
  check(open(44100, "C:\\nothing.sf2") == 0 && status(0) == 6,
        "bgmOpenRenderDev refuses a soundfont with MMSYSERR_NODRIVER");
  check(open(44100, NULL) == 0 && status(0) == 6, "and the default soundfont too");
  check(open(7999, "") == 0 && status(0) == 11, "and a rate below 8000 Hz");
  device = open(44100, "");
  check(device != 0, "bgmOpenRenderDev opens a messages-only device");
  if (device == 0) return;
  s = load(song, sizeof song);
  check(setSink(device, sink, NULL) == 0, "bgmSetMessageSink sets the sink");
  check(fadeChannels(device, 0, 1, 40, 0) == 0 && info(device, 16) == 40,
        "bgmFadeChannels sets channel 1's volume on an Idle device");
  check(play(device, s) == 0, "the song plays on it");
  check(queueStop(device, 5) == 0, "bgmQueueStop queues a stop at the song's end");
  for (i = 0; i < 2 * 16384; ++i) audio[i] = 1.0f;
  seen.callFrames = 16384;
  /* The song's 300 ms are 13230 frames: the call fills all 16384 and returns the song's share. */
  check(render(device, audio, 16384, 1) == 13230, "bgmRender returns the 13230 frames of song");
  for (i = 0; i < 2 * 16384; ++i) silent = silent && audio[i] == 0.0f;
  check(silent, "as silence");
  check(seen.noteFrame == 11025 && !seen.outside, "the note reaches the sink at frame 11025");
  check(render(device, NULL, 100000, 0) == 0, "after the end, no frame is song");
  check(render(device, audio, 4, 3) == -1, "an unknown format is refused");
  check(close(device) == 0, "the render device closes");
  check_song_events(dll, s);
  check(remove(s) == 0, "the song is deleted");
}

int main(void) {
  static const char* const names[EXPORTS] = {
      EXPORT(bgmBgmStatus, 4),        EXPORT(bgmCloseMidiDev, 4),  EXPORT(bgmDeleteSong, 4),
      EXPORT(bgmGetMidiErrorText, 8), EXPORT(bgmGetRepeat, 4),     EXPORT(bgmGetSongFile, 4),
      EXPORT(bgmGetSongLength, 4),    EXPORT(bgmGetSongRsc, 8),    EXPORT(bgmMidiStatus, 4),
      EXPORT(bgmOpenMidiDev, 8),      EXPORT(bgmPause, 4),         EXPORT(bgmPlay, 8),
      EXPORT(bgmSetRepeat, 8),        EXPORT(bgmStop, 4),          "uMidiStatus",
      EXPORT(bgmGetSongMem, 8),       EXPORT(bgmGetSongInfo, 12),  EXPORT(bgmGetSongText, 20),
      EXPORT(bgmSetLoopStyle, 8),     EXPORT(bgmSetLoopPoints, 12)};
  Proc exports[EXPORTS];
  char what[128];
  HMODULE dll = LoadLibraryA("QUAVR.DLL");
  int i;
  check(dll != NULL, "QUAVR.DLL loads");
  if (dll == NULL) return 1;
  for (i = 0; i < EXPORTS; ++i) {
    exports[i] = find(dll, names[i]);
    snprintf(what, sizeof what, "%s is export %d by name and by ordinal", names[i], i + 1);
    check(exports[i] != NULL && exports[i] == find(dll, MAKEINTRESOURCEA(i + 1)), what);
  }
  {
    /* The exports added since the first release, at their frozen ordinals. */
    static const struct {
      const char* name;
      int ordinal;
    } later[] = {{EXPORT(bgmGetPosition, 4), 21},     {EXPORT(bgmSeek, 8), 22},
                 {EXPORT(bgmSetLoopCount, 8), 23},    {EXPORT(bgmSetTempo, 8), 24},
                 {EXPORT(bgmSetVolume, 8), 25},       {EXPORT(bgmFade, 16), 26},
                 {EXPORT(bgmSetChannelMask, 8), 27},  {EXPORT(bgmGetPlayInfo, 8), 28},
                 {EXPORT(bgmGetVersion, 0), 29},      {EXPORT(bgmFadeAt, 20), 30},
                 {EXPORT(bgmOpenRenderDev, 8), 31},   {EXPORT(bgmRender, 16), 32},
                 {EXPORT(bgmSetMessageSink, 12), 33}, {EXPORT(bgmSelectSong, 8), 34},
                 {EXPORT(bgmGetSongEvents, 16), 35},  {EXPORT(bgmGetSongEventData, 16), 36},
                 {EXPORT(bgmQueueSong, 20), 37},      {EXPORT(bgmQueueJump, 16), 38},
                 {EXPORT(bgmQueueStop, 8), 39},       {EXPORT(bgmQueueFade, 20), 40},
                 {EXPORT(bgmCancelQueued, 4), 41},    {EXPORT(bgmFadeChannels, 20), 42},
                 {EXPORT(bgmGetDeviceText, 16), 43}};
    for (i = 0; i < (int)(sizeof later / sizeof later[0]); ++i) {
      const Proc f = find(dll, later[i].name);
      snprintf(what, sizeof what, "%s is export %d by name and by ordinal", later[i].name,
               later[i].ordinal);
      check(f != NULL && f == find(dll, MAKEINTRESOURCEA(later[i].ordinal)), what);
    }
    check(((uint32_t(__stdcall*)(void))find(dll, EXPORT(bgmGetVersion, 0)))() == 0x000A00u,
          "bgmGetVersion gives 0.10.0");
    check(((Fn1)find(dll, EXPORT(bgmGetPosition, 4)))(0xDEAD0000u) == 0xFFFFFFFFu,
          "bgmGetPosition refuses a bad device");
  }
  check(GetProcAddress(dll, MAKEINTRESOURCEA(44)) == NULL, "no export past the last");
  check(GetProcAddress(dll, OTHER_NAME) == NULL, "no function under the other architecture's name");
  if (failures) return 1;

  {
    volatile uint32_t* status = (volatile uint32_t*)(uintptr_t)exports[14];
    const uint32_t none = 0xDEAD0000u;
    char text[256];
    check(((Fn1)exports[0])(none) == (uint32_t)-1, "bgmBgmStatus refuses a bad device");
    check(((Fn1)exports[1])(none) == 5, "bgmCloseMidiDev gives MMSYSERR_INVALHANDLE");
    check(((Fn1)exports[2])(none) == none, "bgmDeleteSong returns a bad song");
    check(((Fn1)exports[4])(none) == 0, "bgmGetRepeat gives 0");
    check(((PathFn)exports[5])("no such file.mid") == 0, "bgmGetSongFile gives 0");
    check(((Fn1)exports[6])(none) == 0, "bgmGetSongLength gives 0");
    check(((ResourceFn)exports[7])(NULL, "NOSUCHSONG") == 0, "bgmGetSongRsc gives 0");
    /* Run without a MIDI driver registered: the system has no MIDI output at all. */
    check(((Fn2)exports[9])(0, 10) == 0, "bgmOpenMidiDev gives 0 with no MIDI output");
    check(*status == 68 && ((Fn1)exports[8])(0) == 68, "uMidiStatus reads 68, as bgmMidiStatus");
    check(((BufferFn)exports[3])(text, sizeof text) == 0 && text[0] != 0,
          "bgmGetMidiErrorText writes the text");
    {
      typedef int32_t(__stdcall * DeviceText)(uint32_t, uint32_t, char*, uint32_t);
      const DeviceText deviceText = (DeviceText)find(dll, EXPORT(bgmGetDeviceText, 16));
      check(deviceText(0, 0, text, sizeof text) == -1 && deviceText(1, 0, NULL, 0) == -1 &&
                deviceText(2, 0, NULL, 0) == -1 && deviceText(3, 0, NULL, 0) == -1,
            "bgmGetDeviceText has no device names, notes nor errors without MIDI output");
    }
    check(((Fn1)exports[10])(none) == (uint32_t)-1, "bgmPause refuses a bad device");
    check(((Fn2)exports[11])(none, none) == (uint32_t)-1, "bgmPlay refuses a bad device");
    check(((Fn2)exports[12])(none, 5) == 0, "bgmSetRepeat gives 0");
    check(((Fn1)exports[13])(none) == (uint32_t)-1, "bgmStop refuses a bad device");
    /* A song from memory: "MThd" with no tracks loads; NULL loads nothing. */
    {
      static const unsigned char empty[14] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 0, 0, 96};
      const uint32_t song = ((MemoryFn)exports[15])(empty, sizeof empty);
      check(((MemoryFn)exports[15])(NULL, 14) == 0, "bgmGetSongMem refuses NULL");
      check(song != 0 && ((Fn3)exports[16])(song, 2, 0) == 96, "bgmGetSongInfo reads the division");
      check(((Fn1)exports[2])(song) == 0, "the song from memory is deleted");
    }
    check(((Fn3)exports[16])(none, 0, 0) == 0xFFFFFFFFu, "bgmGetSongInfo refuses a bad song");
    check(((SongTextFn)exports[17])(none, 0, 0, text, sizeof text) == -1,
          "bgmGetSongText refuses a bad song");
    check(((Fn2)exports[18])(none, 1) == (uint32_t)-1, "bgmSetLoopStyle refuses a bad song");
    check(((Fn3)exports[19])(none, 0, 10) == (uint32_t)-1, "bgmSetLoopPoints refuses a bad song");
    check(((Fn5)find(dll, EXPORT(bgmQueueSong, 20)))(none, none, 2, 0, 0) == (uint32_t)-1 &&
              ((Fn4)find(dll, EXPORT(bgmQueueJump, 16)))(none, 2, 0, 0) == (uint32_t)-1 &&
              ((Fn5)find(dll, EXPORT(bgmQueueFade, 20)))(none, 2, 0, 0, 0) == (uint32_t)-1 &&
              ((Fn1)find(dll, EXPORT(bgmCancelQueued, 4)))(none) == (uint32_t)-1,
          "the queue calls refuse a bad device");
  }

  check_message_only_render(dll);

  {
    char path[MAX_PATH];
    DWORD ignored = 0;
    DWORD size;
    GetModuleFileNameA(dll, path, sizeof path);
    size = GetFileVersionInfoSizeA(path, &ignored);
    check(size != 0, "QUAVR.DLL has a version resource");
    if (size != 0) {
      char* info = (char*)malloc(size);
      VS_FIXEDFILEINFO* fixed = NULL;
      UINT length = 0;
      GetFileVersionInfoA(path, 0, size, info);
      VerQueryValueA(info, "\\", (void**)&fixed, &length);
      check(fixed && fixed->dwFileVersionMS == 10 && fixed->dwFileVersionLS == 0,
            "file version 0.10");
      check(fixed && fixed->dwProductVersionMS == 10 && fixed->dwProductVersionLS == 0,
            "product version 0.10");
      free(info);
    }
  }
  FreeLibrary(dll);
  return failures ? 1 : 0;
}
