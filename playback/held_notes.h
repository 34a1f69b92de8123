// Notes held across an XMI jump: the format's own player ends each note by its duration, not at
// the jump, so a note sounding at the loop end rings on for what was left of it and then ends.
#pragma once

#include <cstdint>

#include "playback/device.h"
#include "song/records.h"

namespace quavr {

// At a jump from `loop`'s end to its start, before the tracks move: every note sounding gets
// its note-off at the loop start plus the time from the loop end to its own note-off; notes
// held from an earlier jump move along the same way.
void holdNotesAcrossJump(MidiDevice& device, const Song& song, LoopPoints loop);
// The earliest time a held note ends at, or kNoLoop: where a render device splits its block.
std::uint32_t nextHeldNoteEnd(const MidiDevice& device);
// Sends the note-offs of the held notes due by `clockMs`.
void endHeldNotesDue(MidiDevice& device, std::uint32_t clockMs);
// Sends the note-offs of the held notes whose own note-off was not found: what a jump to another
// song leaves with nothing to end it.
void endHeldNotesWithoutEnd(MidiDevice& device);
// A note-on for a held key: the held note ends first.
void endHeldNoteBefore(MidiDevice& device, const Event& event, const std::uint8_t* data);
// The channels in `mask` hold nothing more.
void dropHeldNotes(MidiDevice& device, std::uint32_t mask);

inline bool anyHeldNotes(const MidiDevice& device) {
  for (const auto& channel : device.heldNotes) {
    if ((channel[0] | channel[1]) != 0) return true;
  }
  return false;
}

}  // namespace quavr
