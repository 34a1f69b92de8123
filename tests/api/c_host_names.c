/* A C host that has names of its own where the first release put its state names: it builds
 * with the QUAVR_ names alone, and the version test works in the preprocessor. */
#define QUAVR_NO_SHORT_STATE_NAMES
#include "include/quavr.h"

static const int Idle = 7, Ready = 8, Playing = 9, Paused = 10;

#if !QUAVR_VERSION_ATLEAST(0, 10) || QUAVR_VERSION_ATLEAST(0, 11) || QUAVR_VERSION_ATLEAST(1, 0)
#error "QUAVR_VERSION_ATLEAST disagrees with the version"
#endif

int quavrHostStateSum(void) {
  return Idle + Ready + Playing + Paused + QUAVR_IDLE + QUAVR_READY + QUAVR_PLAYING + QUAVR_PAUSED;
}
