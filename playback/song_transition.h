// A queued song or jump taking effect at its boundary, in a fixed order: the tail of the notes
// sounding, the new song bound in the old one's place (or the same song kept), the state a seek
// there sends (the chase), then the clock carried on from the entry.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "playback/device.h"
#include "song/records.h"

namespace quavr {

// What a transition needs beside the song: the tail (QUAVR_TAIL_ and QUAVR_FADE_IN flags) and
// whether `song` begins anew (a queued song, even the one playing) or goes on (a jump).
struct Transition {
  platform::HGLOBAL songHandle;
  Song* song;             // reserved with reserveSong, or the bound song
  std::uint32_t entryMs;  // QUAVR_NONE: the boundary's bar, beat and place in the beat
  std::uint32_t flags;
  bool newSong;
};

// At `boundaryMs`, which the song has played up to, with the round's clock at `clockMs`.
// Under the device's lock, from the sequencer: it allocates nothing (the chase is walked in the
// device's chaseBlock).
void transition(LockedDevice& device, const Transition& to, std::uint32_t boundaryMs,
                std::uint32_t clockMs);

// A block for the chase of a song of `trackCount` tracks, for the device's chaseBlock; 0 when it
// could not be made.
platform::HGLOBAL makeChaseRoom(std::uint32_t trackCount);

}  // namespace quavr
