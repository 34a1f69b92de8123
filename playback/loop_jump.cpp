#include "playback/loop_jump.h"

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_mix.h"
#include "playback/channel_restore.h"
#include "playback/midi_status.h"
#include "playback/playback_clock.h"
#include "playback/song_position.h"

namespace quavr {

using namespace platform;

void noteSent(MidiDevice& device, const Event& event, const std::uint8_t* data) {
  if (event.kind != kChannelEvent) return;
  const std::uint8_t* b = data + event.offset;
  const std::uint8_t type = b[0] & 0xF0;
  // A key byte past 127 (a file's stray status byte) is no note a port can sound.
  if ((type != 0x80 && type != 0x90) || b[1] > 0x7F) return;
  std::uint64_t& word = device.soundingNotes[b[0] & 0x0F][b[1] >> 6];
  const std::uint64_t bit = std::uint64_t{1} << (b[1] & 63);
  // A note-on of velocity 0 is a note-off.
  word = type == 0x90 && b[2] != 0 ? word | bit : word & ~bit;
}

void silenceNotes(MidiDevice& device) {
  for (auto& channel : device.soundingNotes) channel[0] = channel[1] = 0;
}

bool takeLoopPasses(MidiDevice& device, std::uint32_t passes) {
  const std::int32_t count = load(device.loopCount);
  if (count == 0) return false;
  if (count > 0) store(device.loopCount, count - static_cast<std::int32_t>(passes));
  store(device.loopsDone, load(device.loopsDone) + passes);
  store(device.events, load(device.events) | QUAVR_EVENT_LOOPED);
  return true;
}

namespace {

// The clock has reached the loop's end with a pass of it to come: the next round jumps. Not past
// an end a seek went beyond: the song plays on from there to its own end.
bool jumpsAt(const MidiDevice& device, std::uint32_t loopEnd, std::uint32_t clock) {
  return loopEnd != kNoLoop && clock >= loopEnd && load(device.loopCount) != 0 &&
         load(device.pastLoopEnd) == 0;
}

struct LoopCarry {
  std::uint32_t passes;
  std::uint32_t clockMs;
};

// The time the clock is past the loop end carries over past the start, around the loop as many
// times as it takes, each time a pass, while passes remain; so even a loop shorter than a round
// keeps the clock inside it. A loop set under a clock already further on starts at its start.
LoopCarry carryAroundLoop(const MidiDevice& device, LoopPoints loop, std::uint32_t clock) {
  std::uint32_t over = clock - loop.endMs;
  if (over >= longestClockStep(device)) over = 0;
  const std::uint32_t length = loop.endMs - loop.startMs;
  std::uint32_t passes = 1 + over / length;
  const std::int32_t count = load(device.loopCount);
  if (count > 0 && passes > static_cast<std::uint32_t>(count)) {
    passes = static_cast<std::uint32_t>(count);  // the last pass runs on past the end
  }
  const std::uint64_t at = std::uint64_t{loop.startMs} + over - std::uint64_t{passes - 1} * length;
  return {passes, at < kLastClockMs ? static_cast<std::uint32_t>(at) : kLastClockMs};
}

}  // namespace

SongPoint songPointAhead(const MidiDevice& device) {
  const std::uint32_t clock = load(device.clockMs);
  const std::int32_t count = load(device.loopCount);
  const LoopPoints loop = loopInForce(load(device.songHandle));
  if (!jumpsAt(device, loop.endMs, clock)) return {clock, count};
  const LoopCarry carried = carryAroundLoop(device, loop, clock);
  return {carried.clockMs, count < 0 ? count : count - static_cast<std::int32_t>(carried.passes)};
}

void beginLoopPass(LockedDevice& device, LoopPass& pass) {
  pass.jump = false;
  if (load(device->state) != Playing) return;
  const std::uint32_t clock = load(device->clockMs);
  if (!jumpsAt(*device, load(load(device->song)->loop.endMs), clock)) return;
  // The loop may have changed since the end was read: the copy, taken under the song's lock,
  // is the loop the jump makes.
  if (!copyLoop(load(device->songHandle), pass.restore) ||
      !jumpsAt(*device, pass.restore.loop.endMs, clock))
    return;
  pass.jump = true;
  pass.clockMs = clock;
  store(device->clockMs, pass.restore.loop.endMs);
  store(device->loopJumpDue, 1);
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
  const LoopPoints loop = pass.restore.loop;
  const LoopCarry carried = carryAroundLoop(*device, loop, pass.clockMs);
  takeLoopPasses(*device, carried.passes);
  // Note-offs for what sounds: the notes decay as they would at their own note-off.
  endNotes(*device, 0xFFFF);
  sendChannelStates(*device, pass.restore.channels);
  positionTracks(song, loop.startMs);
  // No gap, no drift: what is due up to the carried clock goes out in this same tick.
  store(device->clockMs, carried.clockMs);
  return true;
}

}  // namespace quavr
