// Note-ons that carry their own duration (XMI, HMI): each becomes a note-on and, at its end, a
// note-off. A note still sounding on the same channel and key when another starts ends one tick
// before it, so the newer note is never cut short by the older one's end; note-offs go before
// every other event at their tick.
#pragma once

#include <cstdint>
#include <vector>

#include "song/built_tracks.h"

namespace quavr {

class DuratedNotes {
 public:
  DuratedNotes() { std::fill(&sounding_[0][0], &sounding_[0][0] + 16 * 128, -1); }

  // Appends the note-on to `track` and keeps its note-off; a duration of 0 counts as 1.
  void noteOn(BuiltTrack& track, std::uint32_t tick, std::uint8_t channel, std::uint8_t key,
              std::uint8_t velocity, std::uint32_t duration);
  // Puts the note-offs in order and ends the track at `endTick`, or at its last note-off when
  // that is later.
  void finish(BuiltTrack& track, std::uint32_t endTick);

 private:
  std::int32_t sounding_[16][128];  // the latest note-off of each channel and key, or -1
};

}  // namespace quavr
