/* A host built against an installed Quavr and nothing else: loads a song, says its length, plays
 * it once to its end on a device and closes. Built with QUAVR_HOST_RESOURCE, it also loads the
 * same song from the resource of that name embedded in the program.
 * Usage: host SONG DEVICE */
#include <quavr.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char** argv) {
  QuavrSong song;
  QuavrDevice device;
  if (argc != 3) return 2;
  song = bgmGetSongFile(argv[1]);
  if (song == 0) {
    fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  printf("length %u\n", (unsigned)bgmGetSongLength(song));
#ifdef QUAVR_HOST_RESOURCE
  {
    QuavrSong embedded = bgmGetSongRsc(NULL, QUAVR_HOST_RESOURCE);
    printf("resource length %u\n", (unsigned)bgmGetSongLength(embedded));
    bgmDeleteSong(embedded);
  }
#endif
  device = bgmOpenMidiDev((uint32_t)atoi(argv[2]), 10);
  if (device == 0) {
    char text[256];
    bgmGetMidiErrorText(text, sizeof text);
    fprintf(stderr, "cannot open device %s: %s\n", argv[2], text);
    return 1;
  }
  if (bgmPlay(device, song) != Idle || bgmBgmStatus(device) != Playing) return 1;
  while (bgmBgmStatus(device) != Idle) {
    const struct timespec ms = {0, 1000000};
    nanosleep(&ms, NULL);
  }
  printf("played; close %u, delete %u\n", (unsigned)bgmCloseMidiDev(device),
         (unsigned)bgmDeleteSong(song));
  return 0;
}
