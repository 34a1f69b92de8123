// Whether a loaded song has MIDI tracks. The library loads any file as a song, one without tracks
// when it is no MIDI file; the player refuses those.
#pragma once

#include "include/quavr.h"

namespace quavr::tools {

bool hasMidiTracks(QuavrSong song);

}  // namespace quavr::tools
