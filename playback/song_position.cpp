#include "playback/song_position.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/block.h"
#include "base/shared_value.h"
#include "playback/channel_restore.h"
#include "playback/loop_jump.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"
#include "playback/musical_clock.h"
#include "playback/render_device.h"
#include "song/channel_state.h"
#include "song/song_registry.h"

namespace quavr {

using namespace platform;

bool positionTracks(Song& song, std::uint32_t ms) {
  std::uint32_t finished = 0;
  for (std::uint32_t t = 0; t < load(song.trackCount); ++t) {
    Track& track = load(song.tracks)[t];
    const Event* first = track.events;
    const Event* last = first + track.eventCount;
    const Event* at = firstEventAt(first, last, ms);
    const bool ended = at == last;
    store(track.position, ended ? -1 : static_cast<std::int32_t>(at - first));
    finished += ended ? 1 : 0;
  }
  store(song.finishedTracks, finished);
  return finished == load(song.trackCount);
}

MMRESULT silencePort(MidiDevice& device) {
  const MMRESULT result = resetMidiDev(device);
  silenceNotes(device);
  return result;
}

namespace {

// A seek's slow part, built before the device's lock is taken: the song's state at the time and
// the system-exclusive messages before it, in the walk's order.
struct Chase {
  HGLOBAL songHandle = 0;
  HGLOBAL block = 0;  // the SongState
  std::vector<std::pair<const Event*, const std::uint8_t*>> sysex;
};

void noteSysex(void* chase, const Event& event, const std::uint8_t* data) {
  static_cast<Chase*>(chase)->sysex.emplace_back(&event, data);
}

// Walks the song to `ms` with no device lock held; the song is pinned meanwhile, so it cannot be
// deleted (its blocks never move, so the tracks stay where binding resolved them).
bool buildChase(Chase& chase, std::uint32_t ms) {
  const Track* tracks = nullptr;
  std::uint32_t trackCount = 0;
  withLoadedSong(chase.songHandle, [&] {
    Resolved<Song> song(chase.songHandle);
    if (!song) return;
    tracks = load(song->tracks);
    trackCount = load(song->trackCount);
  });
  if (tracks == nullptr && trackCount != 0) return false;
  chase.block = GlobalAlloc(GMEM_MOVEABLE, sizeof(SongState));
  Resolved<SongState> state(chase.block);
  return state && channelStatesAt(tracks, trackCount, ms, kNoLoop, state->channels,
                                  state->parameters, noteSysex, &chase);
}

// Hands the chase to the device: under its lock, only sending.
void applyChase(LockedDevice& device, const Chase& chase, std::uint32_t ms) {
  setMidiStatus(silencePort(*device));
  // All sound off too: what rang at the old position has no place at the new one.
  for (std::uint32_t c = 0; c < 16; ++c) {
    setMidiStatus(sendShort(*device, 0xB0 | c, 120, 0));
  }
  for (const auto& [event, data] : chase.sysex) setMidiStatus(sendEvent(*device, *event, data));
  Resolved<SongState> state(chase.block);
  sendChannelStates(*device, state->channels, state->parameters);
  // A song with nothing left ends at the next tick, as one bound with no events does.
  device.control().endedWhenBound = positionTracks(*load(device->song), ms);
  store(device->clockMs, ms);
  enterLoopsAt(device, ms);  // as a play from 0 reaching `ms` would, counts in full
  if (isRenderDevice(*device)) anchorRenderClock(*device, ms);
  positionMoved(*device, ms);  // queued actions find their boundary from here
}

}  // namespace

std::int32_t seek(HGLOBAL device, std::uint32_t ms) {
  Chase chase;
  std::uint32_t length = 0;
  chase.songHandle = withDevice(device, HGLOBAL{0}, [&](LockedDevice& d) {
    if (load(d->state) == Idle) return HGLOBAL{0};  // no song to move in
    length = load(d->song)->lengthMs;
    return load(d->songHandle);
  });
  if (chase.songHandle == 0 || !pinSong(chase.songHandle)) return -1;
  // Past the end is the end: the position never leaves the song (nor becomes QUAVR_NONE).
  ms = std::min(ms, length);
  std::int32_t result = -1;
  if (buildChase(chase, ms)) {
    result = withDevice(device, -1, [&](LockedDevice& d) {
      // The song may have been stopped, or another bound, while the chase was built.
      if (load(d->state) == Idle || load(d->songHandle) != chase.songHandle) return -1;
      applyChase(d, chase, ms);
      return 0;
    });
  }
  GlobalFree(chase.block);
  unpinSong(chase.songHandle);
  return result;
}

}  // namespace quavr
