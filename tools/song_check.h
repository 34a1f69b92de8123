// Loading a song the player can play. The library loads any file as a song, one without tracks
// when it is no MIDI file; the player refuses those.
#pragma once

#include <string>

#include "include/quavr.h"

namespace quavr::tools {

bool hasMidiTracks(QuavrSong song);

// The song of `path`, or 0 with `why` saying, in a person's words, why it cannot be played.
QuavrSong loadPlayable(const std::string& path, std::string& why);

}  // namespace quavr::tools
