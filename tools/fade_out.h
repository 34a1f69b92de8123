// quavr-play --fade-out: the fade that ends with the song.
#pragma once

#include <cstdint>

#include "include/quavr.h"

namespace quavr::tools {

// Once the last pass is within `ms` of the song's end, a fade to silence that ends with it (the
// fade runs in played time, the song in song time). True once started.
bool fadeOutAtTheEnd(QuavrDevice device, std::uint32_t ms, std::uint32_t position,
                     std::uint32_t length);

}  // namespace quavr::tools
