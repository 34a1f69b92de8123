#include "playback/song_transition.h"

#include <algorithm>

#include "base/block.h"
#include "base/shared_value.h"
#include "include/quavr.h"
#include "platform/common/pedal_release.h"
#include "playback/channel_mix.h"
#include "playback/channel_restore.h"
#include "playback/held_notes.h"
#include "playback/loop_jump.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"
#include "playback/musical_clock.h"
#include "playback/playback_clock.h"
#include "playback/song_position.h"
#include "playback/transport.h"
#include "song/channel_state.h"
#include "song/loop_points.h"
#include "song/musical_time.h"

namespace quavr {

using namespace platform;

namespace {

// The chase's state first, then the walk's room, aligned for its cursors.
constexpr std::size_t kWalkOffset = (sizeof(SongState) + 15) / 16 * 16;

void sendSysex(void* device, const Event& event, const std::uint8_t* data) {
  setMidiStatus(sendEvent(*static_cast<MidiDevice*>(device), event, data));
}

// The notes sounding at the boundary end now (cut) or after what was left of their length in
// the old song (ring), counted from the entry; then the pedals of every channel the old song
// used go up, so no note hangs on one.
void endTail(MidiDevice& device, const Song& old, std::uint32_t flags, std::uint32_t entryMs,
             std::uint32_t boundaryMs) {
  if ((flags & QUAVR_TAIL_RING) != 0) {
    holdNotesAcrossJump(device, old, LoopPoints{entryMs, boundaryMs});
    endHeldNotesWithoutEnd(device);
  } else {
    endNotes(device, 0xFFFF);
  }
  const std::uint32_t used = load(device.usedChannels);
  for (std::uint32_t i = 0; i < QUAVR_PEDAL_RELEASE_COUNT; ++i) {
    if ((used >> (i / 4) & 1) == 0) continue;
    const std::uint32_t message = quavrPedalRelease(i);
    setMidiStatus(sendShort(device, message & 0xFF, message >> 8 & 0x7F, 0));
  }
}

// The loop start of `song` (its first loop's), else 0.
std::uint32_t loopStartOf(HGLOBAL song) {
  LoopSpan spans[kMaxLoops];
  std::uint32_t version = 0;
  const std::uint32_t count = copyLoopSpans(song, spans, version);
  return count != kNoLoop && count != 0 ? spans[0].startMs : 0;
}

// Where `to` enters to stand where `from` stands at `ms`: the same bar, beat and place in the
// beat; its loop start (or 0) when it has fewer bars.
std::uint32_t samePlace(const Song& from, const Song& to, HGLOBAL toHandle, std::uint32_t ms) {
  const MusicalPlace place = SongGrid(from).placeOf(ms);
  const std::uint32_t entry = SongGrid(to).timeOfPlace(place.bar, place.beat, place.fraction);
  return entry != kNoTime ? entry : loopStartOf(toHandle);
}

// The song's state at `ms`, as a seek sends it: the system-exclusive messages before it, then
// each channel's.
void chase(MidiDevice& device, const Song& song, std::uint32_t ms) {
  Resolved<std::uint8_t> room(load(device.chaseBlock));
  if (!room) return;
  auto* state = reinterpret_cast<SongState*>(room.get());
  if (channelStatesAt(load(song.tracks), load(song.trackCount), ms, kNoLoop, state->channels,
                      state->parameters, sendSysex, &device, room.get() + kWalkOffset))
    sendChannelStates(device, state->channels, state->parameters);
}

}  // namespace

HGLOBAL makeChaseRoom(std::uint32_t trackCount) {
  return GlobalAlloc(GMEM_MOVEABLE, kWalkOffset + walkRoomBytes(trackCount));
}

void transition(LockedDevice& device, const Transition& to, std::uint32_t boundaryMs,
                std::uint32_t clockMs) {
  MidiDevice& d = *device;
  const Song& old = *load(d.song);
  Song& song = *to.song;
  std::uint32_t entry =
      to.entryMs == QUAVR_NONE ? samePlace(old, song, to.songHandle, boundaryMs) : to.entryMs;
  entry = std::min(entry, load(song.lengthMs));  // as a seek: past the end is the end
  endTail(d, old, to.flags, entry, boundaryMs);
  const std::uint32_t fadeInMs = to.flags >> 16;
  if (to.newSong) {
    cancelFade(d);  // it belonged to the old song; the new one's volume follows
    swapSong(device, to.songHandle, song);
    applyVolume(d, fadeInMs != 0 ? 0 : load(d.hostVolume));
  }
  device.control().endedWhenBound = positionTracks(song, entry);
  chase(d, song, entry);
  // The time the round's clock was past the boundary carries over past the entry.
  std::uint32_t over = clockMs - boundaryMs;
  if (over >= longestClockStep(d)) over = 0;
  store(d.clockMs, entry + over);
  enterLoopsAt(device, entry);
  if (fadeInMs != 0) beginFade(d, load(d.hostVolume), fadeInMs, QUAVR_FADE_CONTINUE);
  store(d.transitions, load(d.transitions) + 1);
  positionMoved(d, entry);
}

}  // namespace quavr
