#include "playback/midi_status.h"

extern "C" {
QUAVR_API uint32_t uMidiStatus = 0;
}
