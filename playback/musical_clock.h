// Where a device is in its song's bars and beats: the first song time it has not played (where
// "next" boundaries are looked for from), the beat and bar lines its sequencer reports as played,
// and the host's musical play facts.
#pragma once

#include <cstdint>

#include "playback/device.h"

namespace quavr {

// The first song time the device has not played: on a render device, the first whose frame has
// not been rendered either.
std::uint32_t unplayedMs(const MidiDevice& device);

// The song position jumped to `ms` (a play, a seek, a loop jump, a queued action): beat and bar
// lines and every queued boundary are looked for again from there.
void positionMoved(MidiDevice& device, std::uint32_t ms);

// The sequencer played up to `clockMs`: a beat or bar line reached raises QUAVR_EVENT_BEAT or
// _BAR (coalesced). A compare, unless a line was reached.
void flagBeats(MidiDevice& device, std::uint32_t clockMs);
inline void beatsPlayed(MidiDevice& device, std::uint32_t clockMs) {
  if (clockMs >= device.nextBeatMs && device.nextBeatMs != kNoLoop) flagBeats(device, clockMs);
}

// QUAVR_PLAY_BAR_BEAT, _TO_NEXT_BEAT or _TO_NEXT_BAR of a device with a song bound, at the
// position bgmGetPosition reports.
std::uint32_t musicalPlayInfo(const MidiDevice& device, std::uint32_t what,
                              std::uint32_t positionMs);

}  // namespace quavr
