// The loop jump: with repeat on, a device whose clock reaches the song's loop end sends what is
// due up to it, ends the notes that sound, restores the channels as they stand at the loop
// start and goes on from there in the same tick.
#pragma once

#include <cstdint>

#include "playback/device.h"
#include "song/loop_points.h"
#include "song/records.h"

namespace quavr {

// Keeps the device's sounding notes as note-ons and note-offs go out.
void noteSent(MidiDevice& device, const Event& event, const std::uint8_t* data);
// The port was reset: nothing sounds.
void silenceNotes(MidiDevice& device);

struct LoopPass {
  bool jump;
  std::uint32_t clockMs;  // the tick's clock, past the loop end by what the jump carries over
  LoopRestore restore;
};

// Before a tick sends: when the clock has reached the loop end, holds it there, so that only
// what is due up to the end goes out, and marks the jump due (the song's end then replays
// nothing). Under the device's lock.
void beginLoopPass(LockedDevice& device, LoopPass& pass);
// A tick that gave way before the jump: the clock and the mark go back as they were, for the
// next tick to begin the pass again.
void abandonLoopPass(LockedDevice& device, const LoopPass& pass);
// After the tick sent: makes the jump marked due. True when it jumped; what is due at the new
// clock is then to be sent in this same tick.
bool finishLoopPass(LockedDevice& device, Song& song, LoopPass& pass);

// Passes of the loop (or of the whole song) are to begin again: counts them, and marks the
// device looped. False, with nothing counted, when the loop count has run out.
bool takeLoopPasses(MidiDevice& device, std::uint32_t passes);

// Where the song stands for the next round, once the loop jump due there (if any) has carried
// the clock around the loop: the song time, and the passes of the loop still to come then (-1
// forever). Reads the loop under the song's lock.
struct SongPoint {
  std::uint32_t clockMs;
  std::int32_t loopsLeft;
};
SongPoint songPointAhead(const MidiDevice& device);

inline bool loopJumpDue(const MidiDevice& device) {
  return device.loopJumpDue != 0;
}

}  // namespace quavr
