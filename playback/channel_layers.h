// Layers: each channel's own volume, which scales its CC7 on top of the device volume, and the
// fades that move it (bgmFadeChannels), a step each tick or each ms of rendered frames.
#pragma once

#include <cstdint>

#include "playback/device.h"

namespace quavr {

// The channels of `mask` move their volume to `percent` over `ms` of playing, with a first step
// at once; while no song is bound they are set at once.
void beginLayerFades(MidiDevice& device, std::uint32_t mask, std::uint32_t percent,
                     std::uint32_t ms);
// A step of every channel fade over `playedMs` of playing: a channel whose volume moved gets
// its CC7 again.
void stepLayers(MidiDevice& device, std::uint32_t playedMs);

inline bool layersFading(const MidiDevice& device) {
  return device.layersFading != 0;
}

}  // namespace quavr
