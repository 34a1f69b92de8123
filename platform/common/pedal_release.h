/* The pedals a port reset lets go of first, on every channel: sustain, sostenuto, soft and hold 2,
 * so no note hangs on one after a pause or stop, whatever the driver's own reset releases.
 * Plain C as well: the Windows driver test expects exactly these messages before each reset. */
#ifndef QUAVR_PLATFORM_COMMON_PEDAL_RELEASE_H
#define QUAVR_PLATFORM_COMMON_PEDAL_RELEASE_H

#include <stdint.h>

#define QUAVR_PEDAL_RELEASE_COUNT 64 /* four pedals on each of the 16 channels */

/* Message `i` of the release (i < QUAVR_PEDAL_RELEASE_COUNT) as a short message: control change
 * to 0 on channel i / 4, the channel's four pedals in turn. */
static inline uint32_t quavrPedalRelease(uint32_t i) {
  static const uint8_t kPedals[4] = {0x40, 0x42, 0x43, 0x45};
  return (0xB0u | i / 4) | (uint32_t)kPedals[i % 4] << 8;
}

#endif
