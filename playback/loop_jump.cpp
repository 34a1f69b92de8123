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

bool takeLoopPass(MidiDevice& device) {
  const std::int32_t count = load(device.loopCount);
  if (count == 0) return false;
  if (count > 0) store(device.loopCount, count - 1);
  store(device.loopsDone, load(device.loopsDone) + 1);
  store(device.events, load(device.events) | QUAVR_EVENT_LOOPED);
  return true;
}

std::uint32_t loopJumpTime(MidiDevice& device) {
  const std::uint32_t end = load(load(device.song)->loop.endMs);
  if (end == kNoLoop || load(device.loopCount) == 0) return kNoLoop;
  const std::uint32_t clock = load(device.clockMs);
  return end > clock ? end : clock;
}

void beginLoopPass(LockedDevice& device, LoopPass& pass) {
  pass.jump = false;
  if (load(device->state) != Playing) return;
  const std::uint32_t end = load(load(device->song)->loop.endMs);
  const std::uint32_t clock = load(device->clockMs);
  if (end == kNoLoop || clock < end || load(device->loopCount) == 0) return;
  // The loop may have changed since the end was read: the copy, taken under the song's lock,
  // is the loop the jump makes.
  if (!copyLoop(load(device->songHandle), pass.restore) || clock < pass.restore.loop.endMs) return;
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
  takeLoopPass(*device);
  // Note-offs for what sounds: the notes decay as they would at their own note-off.
  endNotes(*device, 0xFFFF);
  sendChannelStates(*device, pass.restore.channels);
  positionTracks(song, loop.startMs);
  // The time the tick's clock was past the end carries over past the start: no gap, no drift.
  // A loop set under a clock already further on starts at its start.
  std::uint32_t over = pass.clockMs - loop.endMs;
  if (over >= longestClockStep(*device)) over = 0;
  store(device->clockMs, loop.startMs + over % (loop.endMs - loop.startMs));
  return true;
}

}  // namespace quavr
