// quavr-play --fade-out: the fade that ends with the song.
#pragma once

#include <cstdint>

#include "include/quavr.h"

namespace quavr::tools {

// A fade to silence over the last `ms` of the song's last pass, begun by the library at that song
// time (the fade runs in played time, the song in song time). Once, after the song is played.
void fadeOutAtTheEnd(QuavrDevice device, std::uint32_t ms, std::uint32_t length);

}  // namespace quavr::tools
