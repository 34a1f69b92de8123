// quavr-play --offline on Quavr Synth: the song rendered through a render device into the audio
// file, sample-exact and as fast as the machine allows.
#pragma once

#include <cstdint>
#include <functional>

#include "include/quavr.h"
#include "tools/play_options.h"

namespace quavr::tools {

// Renders the playing render device into the audio file (QUAVR_WAV, or quavr-out.wav…) until its
// song ends, then the last notes' release. The exit status; an error of the file is said on
// standard error. `begun` runs once the first block has played.
int renderToFile(QuavrDevice device, const PlayOptions& options,
                 const std::function<void()>& begun);

}  // namespace quavr::tools
