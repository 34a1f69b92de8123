/* Opens the first MIDI output device, says what happened, and closes it again. */
#include <quavr.h>
#include <stdio.h>

int main(void) {
  char text[256];
  QuavrDevice device = bgmOpenMidiDev(0, 10); /* device 0, a 10 ms timer period */
  bgmGetMidiErrorText(text, sizeof text);
  printf("open: %s (%u)\n", text, (unsigned)uMidiStatus);
  if (device == 0) return 1;
  printf("close: %u\n", (unsigned)bgmCloseMidiDev(device));
  return 0;
}
