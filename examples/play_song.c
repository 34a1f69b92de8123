/* A host that plays a song with Quavr: open a device, load the song, play it to its end, close.
 * Usage: play_song FILE [DEVICE]   (DEVICE defaults to 0) */
#include <quavr.h>
#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
#define sleep_ms(ms) Sleep(ms)
#else
#include <unistd.h>
#define sleep_ms(ms) usleep((ms) * 1000)
#endif

int main(int argc, char** argv) {
  char text[256];
  QuavrDevice device;
  QuavrSong song;
  if (argc < 2) {
    fprintf(stderr, "usage: play_song FILE [DEVICE]\n");
    return 2;
  }
  device = bgmOpenMidiDev(argc > 2 ? (uint32_t)atoi(argv[2]) : 0, 10);
  if (device == 0) {
    bgmGetMidiErrorText(text, sizeof text);
    fprintf(stderr, "cannot open the device: %s (%u)\n", text, (unsigned)uMidiStatus);
    return 1;
  }
  song = bgmGetSongFile(argv[1]);
  if (song == 0) {
    fprintf(stderr, "cannot load %s\n", argv[1]);
    bgmCloseMidiDev(device);
    return 1;
  }
  printf("playing %s, %u ms\n", argv[1], (unsigned)bgmGetSongLength(song));
  bgmPlay(device, song);
  while (bgmBgmStatus(device) != Idle) sleep_ms(20);
  printf("done, last result %u\n", (unsigned)bgmMidiStatus(device));
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
  return 0;
}
