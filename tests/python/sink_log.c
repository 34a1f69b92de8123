/* The C API's own log of a song's messages on a messages-only render device: one line per
 * message, "FRAME HH HH ...", FRAME counted from the song's start. Renders in calls of BLOCK
 * frames until the song ends. Usage: sink_log SONG RATE BLOCK */
#include <quavr.h>
#include <stdio.h>
#include <stdlib.h>

static uint64_t rendered;

static void sink(void* user, uint32_t frame, const uint8_t* bytes, uint32_t length) {
  uint32_t i;
  (void)user;
  printf("%llu", (unsigned long long)(rendered + frame));
  for (i = 0; i < length; ++i) printf(" %02X", bytes[i]);
  printf("\n");
}

int main(int argc, char** argv) {
  QuavrDevice device;
  QuavrSong song;
  uint32_t block;
  if (argc != 4) return 2;
  device = bgmOpenRenderDev((uint32_t)atoi(argv[2]), "");
  song = bgmGetSongFile(argv[1]);
  block = (uint32_t)atoi(argv[3]);
  if (device == 0 || song == 0 || block == 0 || bgmSetMessageSink(device, sink, NULL) != 0 ||
      bgmPlay(device, song) != 0)
    return 1;
  while (bgmRender(device, NULL, block, 0) == (int32_t)block) rendered += block;
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
  return 0;
}
