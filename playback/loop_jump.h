// The loop jump: a device whose clock reaches the end of a loop with passes left sends what is
// due up to it, ends the notes that sound, restores the channels as they stand at the loop start
// and goes on from there in the same tick. Of loops ending together the innermost goes first.
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
  std::uint32_t index;    // of the loop that jumps
  std::uint32_t clockMs;  // the tick's clock, past the loop end by what the jump carries over
  LoopRestore restore;
};

// Play (re)enters the song at `ms`: every loop plays its full count when reached, and only loops
// ending at or after `ms` may jump. At bind and seek, under the device's lock.
void enterLoopsAt(LockedDevice& device, std::uint32_t ms);
// A round sent everything due up to `ms`: loops ending there or before are behind it.
inline void loopsPassed(MidiDevice& device, std::uint32_t ms) {
  device.armedAfterMs = ms;
}

// Before a tick sends: when the clock has reached the end of a loop that jumps, holds it there,
// so that only what is due up to the end goes out, and marks the jump due (the song's end then
// replays nothing). Under the device's lock.
void beginLoopPass(LockedDevice& device, LoopPass& pass);
// A round that gave way before the jump: the clock and the mark go back as they were, for the
// round to begin the pass again once it goes on.
void abandonLoopPass(LockedDevice& device, const LoopPass& pass);
// After the tick sent: makes the jump marked due. True when it jumped; what is due at the new
// clock is then to be sent in this same tick.
bool finishLoopPass(LockedDevice& device, Song& song, LoopPass& pass);

// The song time the next loop jump is due at (the clock itself once it is past a loop's end), or
// kNoLoop when none is to come: where a render device splits its block for the jump. Copies a
// changed loop table first, as the next pass would.
std::uint32_t nextLoopJumpMs(MidiDevice& device);

// The earliest end at or after `fromMs` of a loop in force (the innermost of loops ending
// together), whether its pass jumps there or plays on; kNoLoop for none.
std::uint32_t nextLoopEndMs(MidiDevice& device, std::uint32_t fromMs);
// Whether a later pass of a loop (or of the whole song, on repeat without loops) plays song time
// `ms` again, seen from `fromMs`.
bool playedAgain(MidiDevice& device, std::uint32_t ms, std::uint32_t fromMs);

// The song position the clock stands for: past the end of a loop that jumps, where the next
// tick's jump takes it. Reads only.
std::uint32_t loopedClockMs(const MidiDevice& device);

// A pass of the outermost loop (or of the whole song) is to begin again: counts it, and marks
// the device looped. False, with nothing counted, when the loop count has run out or is the
// file's.
bool takeLoopPass(MidiDevice& device);
// The song has reached its end: a pass of the whole song when the device's count is the song's
// (it has no loop), else none (play went past the loop the count belongs to).
bool takeSongPass(MidiDevice& device);

inline bool loopJumpDue(const MidiDevice& device) {
  return device.loopJumpDue != 0;
}

}  // namespace quavr
