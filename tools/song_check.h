// Whether a loaded song has MIDI tracks. The library loads any file as a song, one without tracks
// when it is no MIDI file; the player refuses those. Asked through the core's read-only song view,
// as quavr-info reads songs, until the API has a call for it.
#pragma once

#include "include/quavr.h"

namespace quavr::tools {

bool hasMidiTracks(QuavrSong song);

}  // namespace quavr::tools
