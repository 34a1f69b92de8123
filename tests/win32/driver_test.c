/* The real winmm path, with the test driver registered: a C host linked with the import library
 * opens device 0, plays a song from a file and the same song from an RCDATA resource of this
 * program, and closes. The driver's recording, times aside, must be the golden monitor log of the
 * song twice over, each reset with QUAVR.DLL's pedal release before it. Usage: driver_test SONG
 * GOLDEN_LOG */
#include <quavr.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "platform/common/pedal_release.h"

static int failures;

static void check(int ok, const char* what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

static int playToEnd(QuavrDevice device, QuavrSong song) {
  int waited = 0;
  if (song == 0 || bgmPlay(device, song) != Idle) return 0;
  while (bgmBgmStatus(device) != Idle && waited < 20000) {
    Sleep(10);
    waited += 10;
  }
  return bgmBgmStatus(device) == Idle;
}

/* The messages of a monitor log, one per line, the time before each left out. With `pedals`, each
 * reset is preceded by the pedal release QUAVR.DLL sends before the driver's reset (the Linux
 * monitor's reset holds it). */
static size_t messages(const char* path, int pedals, char* out, size_t size) {
  char line[4096];
  size_t used = 0;
  FILE* in = fopen(path, "r");
  if (in == NULL) return 0;
  while (fgets(line, sizeof line, in)) {
    const char* text = strchr(line, ' ');
    size_t length;
    uint32_t i;
    if (text == NULL) continue;
    for (i = 0; pedals && strcmp(text + 1, "reset\n") == 0 && i < QUAVR_PEDAL_RELEASE_COUNT; ++i) {
      if (used + 16 > size) break;
      used += (size_t)sprintf(out + used, "short %08lX\n", (unsigned long)quavrPedalRelease(i));
    }
    length = strlen(text + 1);
    if (used + length + 1 > size) break;
    memcpy(out + used, text + 1, length);
    used += length;
  }
  out[used] = 0;
  fclose(in);
  return used;
}

int main(int argc, char** argv) {
  static char golden[1 << 16], recorded[1 << 17], twice[1 << 17];
  char log[MAX_PATH];
  QuavrDevice device;
  QuavrSong fromFile, fromResource;
  if (argc != 3 || !GetEnvironmentVariableA("QUAVR_MONITOR_LOG", log, sizeof log)) return 2;
  DeleteFileA(log);
  device = bgmOpenMidiDev(0, 10);
  check(device != 0 && uMidiStatus == 0, "device 0 opens through winmm");
  fromFile = bgmGetSongFile(argv[1]);
  fromResource = bgmGetSongRsc(NULL, "FANFARE");
  check(fromFile != 0 && fromResource != 0, "the song loads from a file and from a resource");
  check(bgmGetSongLength(fromFile) == bgmGetSongLength(fromResource),
        "both loads are the same song");
  check(playToEnd(device, fromFile), "the song from the file plays to its end");
  check(playToEnd(device, fromResource), "the song from the resource plays to its end");
  check(bgmCloseMidiDev(device) == 0, "the device closes: no message is left queued");
  check(bgmDeleteSong(fromFile) == 0 && bgmDeleteSong(fromResource) == 0, "both songs delete");

  messages(argv[2], 1, golden, sizeof golden);
  messages(log, 0, recorded, sizeof recorded);
  snprintf(twice, sizeof twice, "%s%s", golden, golden);
  check(golden[0] != 0 && strcmp(recorded, twice) == 0,
        "the driver received the golden messages, twice");
  if (strcmp(recorded, twice) != 0) printf("recorded:\n%s\nexpected:\n%s", recorded, twice);
  return failures ? 1 : 0;
}
