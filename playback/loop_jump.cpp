#include "playback/loop_jump.h"

#include <cstdint>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_mix.h"
#include "playback/channel_restore.h"
#include "playback/held_notes.h"
#include "playback/midi_status.h"
#include "playback/playback_clock.h"
#include "playback/song_position.h"

namespace quavr {

using namespace platform;

namespace {

constexpr std::int32_t kPassesUnset = INT32_MIN;

// Copies the song's loops when its table is not the one copied last. True when it copied.
bool syncLoops(MidiDevice& device) {
  Song& song = *load(device.song);
  if (device.loopsKnown != kNoLoop && load(song.loopVersion) == device.loopVersion) return false;
  LoopSpan spans[kMaxLoops];
  std::uint32_t count = copyLoopSpans(load(device.songHandle), spans, device.loopVersion);
  if (count == kNoLoop) count = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    device.loops[i] = {spans[i].startMs, spans[i].endMs, spans[i].repeats, kPassesUnset,
                       spans[i].style};
  }
  device.loopsKnown = count;
  return true;
}

bool counted(const MidiDevice& device, std::uint32_t index) {
  return index == 0 && load(device.loopCount) != QUAVR_LOOP_AS_FILE;
}

// Whether loop `index`, reached at its end, jumps: the outermost while the device's count
// lasts, the others (all of them with QUAVR_LOOP_AS_FILE) while the file's does. A loop that
// does not is left; its count starts afresh when play enters it again.
bool jumps(MidiDevice& device, std::uint32_t index) {
  if (counted(device, index)) return load(device.loopCount) != 0;
  MidiDevice::Loop& loop = device.loops[index];
  if (loop.passesLeft == kPassesUnset) loop.passesLeft = loop.repeats;
  if (loop.passesLeft != 0) return true;
  loop.passesLeft = kPassesUnset;
  return false;
}

// What jumps() will answer at the loop's end, asked before it: nothing changes.
bool wouldJump(const MidiDevice& device, std::uint32_t index) {
  if (counted(device, index)) return load(device.loopCount) != 0;
  const MidiDevice::Loop& loop = device.loops[index];
  return loop.passesLeft == kPassesUnset ? loop.repeats != 0 : loop.passesLeft != 0;
}

// Of two loops whose ends the clock has reached, whether `l` is the inner one (or `best` none):
// the earlier end, of two the later start.
bool innerOf(const MidiDevice::Loop& l, const MidiDevice::Loop* best) {
  return best == nullptr || l.endMs < best->endMs ||
         (l.endMs == best->endMs && l.startMs > best->startMs);
}

void countPass(MidiDevice& device) {
  store(device.loopsDone, load(device.loopsDone) + 1);
  store(device.events, load(device.events) | QUAVR_EVENT_LOOPED);
}

}  // namespace

void noteSent(MidiDevice& device, const Event& event, const std::uint8_t* data) {
  if (event.kind != kChannelEvent) return;
  const std::uint8_t* b = data + event.offset;
  const std::uint8_t type = b[0] & 0xF0;
  // A key byte past 127 (a file's stray status byte) is no note a port can sound.
  if ((type != 0x80 && type != 0x90) || b[1] > 0x7F) return;
  const std::uint64_t bit = std::uint64_t{1} << (b[1] & 63);
  std::uint64_t& word = device.soundingNotes[b[0] & 0x0F][b[1] >> 6];
  // A note-on of velocity 0 is a note-off. Either ends what a jump held on that key.
  word = type == 0x90 && b[2] != 0 ? word | bit : word & ~bit;
  device.heldNotes[b[0] & 0x0F][b[1] >> 6] &= ~bit;
}

void silenceNotes(MidiDevice& device) {
  for (auto& channel : device.soundingNotes) channel[0] = channel[1] = 0;
  dropHeldNotes(device, 0xFFFF);
}

namespace {

// The device's count has a pass of the outermost loop (or the whole song) left.
bool takesPasses(const MidiDevice& device) {
  const std::int32_t count = load(device.loopCount);
  return count != 0 && count != QUAVR_LOOP_AS_FILE;
}

}  // namespace

bool takeLoopPass(MidiDevice& device) {
  const std::int32_t count = load(device.loopCount);
  if (!takesPasses(device)) return false;
  if (count > 0) store(device.loopCount, count - 1);
  countPass(device);
  return true;
}

bool takeSongPass(MidiDevice& device) {
  return (device.loopsKnown == 0 || device.loopsKnown == kNoLoop) && takeLoopPass(device);
}

namespace {

// Takes a pass of loop `index` at its end, from the device's count for the outermost, from its
// own for the others. False when none is left.
bool takeLoopPassOf(MidiDevice& device, std::uint32_t index) {
  if (counted(device, index)) return takeLoopPass(device);
  std::int32_t& left = device.loops[index].passesLeft;
  if (left == 0) return false;
  if (left > 0) --left;
  if (index == 0) countPass(device);
  return true;
}

}  // namespace

void enterLoopsAt(LockedDevice& device, std::uint32_t ms) {
  device->loopsKnown = kNoLoop;
  syncLoops(*device);
  // A loop ending at `ms` is still ahead: nothing at `ms` has played, and play from 0 that
  // reaches its end jumps there.
  loopsPassed(*device, ms == 0 ? 0 : ms - 1);
}

std::uint32_t nextLoopJumpMs(MidiDevice& device) {
  if (syncLoops(device)) loopsPassed(device, 0);
  std::uint32_t next = kNoLoop;
  for (std::uint32_t i = 0; i < device.loopsKnown; ++i) {
    const MidiDevice::Loop& l = device.loops[i];
    if (l.endMs <= device.armedAfterMs || l.endMs >= next || !wouldJump(device, i)) continue;
    next = l.endMs;
  }
  const std::uint32_t clock = load(device.clockMs);
  return next == kNoLoop || next > clock ? next : clock;
}

std::uint32_t nextLoopEndMs(MidiDevice& device, std::uint32_t fromMs) {
  syncLoops(device);
  std::uint32_t next = kNoLoop;
  for (std::uint32_t i = 0; i < device.loopsKnown; ++i) {
    const std::uint32_t end = device.loops[i].endMs;
    if (end >= fromMs && end < next) next = end;
  }
  return next;
}

bool playedAgain(MidiDevice& device, std::uint32_t ms, std::uint32_t fromMs) {
  syncLoops(device);
  if (device.loopsKnown == 0) return takesPasses(device);
  for (std::uint32_t i = 0; i < device.loopsKnown; ++i) {
    const MidiDevice::Loop& l = device.loops[i];
    if (l.startMs <= ms && ms <= l.endMs && l.endMs >= fromMs && wouldJump(device, i)) return true;
  }
  return false;
}

std::uint32_t loopedClockMs(const MidiDevice& device) {
  const std::uint32_t clock = load(device.clockMs);
  if (device.loopsKnown == kNoLoop) return clock;
  const MidiDevice::Loop* loop = nullptr;
  std::uint32_t index = 0;
  for (std::uint32_t i = 0; i < device.loopsKnown; ++i) {
    const MidiDevice::Loop& l = device.loops[i];
    if (l.endMs <= device.armedAfterMs || l.endMs > clock || !wouldJump(device, i)) continue;
    if (innerOf(l, loop)) {
      loop = &l;
      index = i;
    }
  }
  if (loop == nullptr) return clock;
  // As finishLoopPass will carry it: round the loop while passes last, then on past its end.
  const std::uint32_t over = clock - loop->endMs, length = loop->endMs - loop->startMs;
  if (over >= longestClockStep(device)) return loop->startMs;
  const std::int64_t passes = counted(device, index)             ? load(device.loopCount)
                              : loop->passesLeft == kPassesUnset ? loop->repeats
                                                                 : loop->passesLeft;
  if (passes < 0 || over / length < passes) return loop->startMs + over % length;
  return static_cast<std::uint32_t>(clock - passes * length);
}

void beginLoopPass(LockedDevice& device, LoopPass& pass) {
  pass.jump = false;
  if (load(device->state) != Playing) return;
  MidiDevice& d = *device;
  // A table changed under a playing song: every loop counts afresh, and one whose end the clock
  // has passed jumps at once.
  if (syncLoops(d)) loopsPassed(d, 0);
  const std::uint32_t clock = load(d.clockMs);
  std::uint64_t seen = 0;
  for (;;) {
    // The innermost loop the clock has reached the end of: the earliest end, of two the later
    // start.
    std::uint32_t k = kNoLoop;
    for (std::uint32_t i = 0; i < d.loopsKnown; ++i) {
      const MidiDevice::Loop& l = d.loops[i];
      if ((seen >> i & 1) != 0 || l.endMs <= d.armedAfterMs || l.endMs > clock) continue;
      if (innerOf(l, k == kNoLoop ? nullptr : &d.loops[k])) k = i;
    }
    if (k == kNoLoop) return;
    seen |= std::uint64_t{1} << k;
    if (!jumps(d, k)) continue;
    // The restore comes from the table the spans were copied from; a newer one is copied at
    // the next round.
    if (!copyLoop(load(d.songHandle), d.loopVersion, k, pass.restore)) return;
    pass.jump = true;
    pass.index = k;
    pass.clockMs = clock;
    store(d.clockMs, d.loops[k].endMs);
    store(d.loopJumpDue, 1);
    return;
  }
}

void abandonLoopPass(LockedDevice& device, const LoopPass& pass) {
  if (!pass.jump) return;
  store(device->loopJumpDue, 0);
  store(device->clockMs, pass.clockMs);
}

bool finishLoopPass(LockedDevice& device, Song& song, LoopPass& pass) {
  if (!pass.jump) return false;
  store(device->loopJumpDue, 0);
  if (load(device->state) != Playing) return false;
  MidiDevice& d = *device;
  const LoopPoints loop = pass.restore.loop;
  takeLoopPassOf(d, pass.index);  // jumps() saw it left
  if (d.loops[pass.index].style == QUAVR_LOOP_XMI) {
    holdNotesAcrossJump(d, song, loop);  // XMI notes end by their own lengths
  } else {
    // Note-offs for what sounds: the notes decay as they would at their own note-off.
    endNotes(d, 0xFFFF);
  }
  sendChannelStates(d, pass.restore.channels);
  positionTracks(song, loop.startMs);
  loopsPassed(d, loop.startMs);
  // The time the tick's clock was past the end carries over past the start: no gap, no drift.
  // A loop set under a clock already further on starts at its start.
  std::uint32_t over = pass.clockMs - loop.endMs;
  if (over >= longestClockStep(d)) over = 0;
  // A loop shorter than the overshoot goes round again, a pass each, while passes last; when
  // they run out, what is left plays on past the end.
  const std::uint32_t length = loop.endMs - loop.startMs;
  while (over >= length && takeLoopPassOf(d, pass.index)) over -= length;
  store(d.clockMs, loop.startMs + over);
  return true;
}

}  // namespace quavr
