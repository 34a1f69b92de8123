/* A host built as Visual C++ builds one (clang for i686-pc-windows-msvc, linked by lld-link
 * against the SDK's quavr.lib), without a C runtime: kernel32 is its only other import. It calls
 * every function of quavr.h through the import library and reads uMidiStatus, printing a line
 * per check; the exit code is the number of failures. Run it under Wine with the test MIDI
 * driver, from a directory that holds QUAVR.DLL and song.mid. */
#include <quavr.h>

typedef void* HANDLE;
__declspec(dllimport) HANDLE __stdcall GetStdHandle(uint32_t which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* bytes, uint32_t size,
                                              uint32_t* written, void* overlapped);
__declspec(dllimport) void __stdcall Sleep(uint32_t ms);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(uint32_t code);

static uint32_t failures;

static void say(const char* text) {
  uint32_t length = 0, written;
  while (text[length] != 0) ++length;
  WriteFile(GetStdHandle((uint32_t)-11 /* standard output */), text, length, &written, 0);
}

static void sayNumber(uint32_t n) {
  char digits[12];
  int i = 11;
  digits[i] = 0;
  do {
    digits[--i] = (char)('0' + n % 10);
    n /= 10;
  } while (n != 0);
  say(digits + i);
}

static void check(int ok, const char* what) {
  say(ok ? "ok   " : "FAIL ");
  say(what);
  say("\n");
  failures += ok ? 0 : 1;
}

void __stdcall start(void) {
  char text[64];
  QuavrDevice device;
  QuavrSong song = bgmGetSongFile("song.mid");
  check(song != 0, "bgmGetSongFile loads song.mid");
  say("length ");
  sayNumber(bgmGetSongLength(song));
  say("\n");
  check(bgmGetSongRsc(0, "NOSUCHSONG") == 0, "bgmGetSongRsc finds no such resource");
  device = bgmOpenMidiDev(0, 10);
  check(device != 0 && uMidiStatus == 0 && bgmMidiStatus(device) == 0,
        "bgmOpenMidiDev opens device 0; uMidiStatus and bgmMidiStatus say 0");
  check(bgmGetMidiErrorText(text, sizeof text) == 0 && text[0] != 0,
        "bgmGetMidiErrorText gives the text");
  check(bgmSetRepeat(device, 1) == 1 && bgmGetRepeat(device) == 1, "bgmSetRepeat, bgmGetRepeat");
  check(bgmPlay(device, song) == Idle && bgmBgmStatus(device) == Playing,
        "bgmPlay starts the song");
  Sleep(100);
  check(bgmPause(device) == Paused, "bgmPause pauses it");
  check(bgmDeleteSong(song) == song, "bgmDeleteSong keeps a song in use");
  check(bgmStop(device) == Idle, "bgmStop stops it");
  check(bgmCloseMidiDev(device) == 0, "bgmCloseMidiDev closes the device");
  check(bgmDeleteSong(song) == 0, "bgmDeleteSong frees the song");
  ExitProcess(failures);
}
