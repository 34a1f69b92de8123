#include "playback/song_position.h"

#include "base/block.h"
#include "base/shared_value.h"
#include "playback/channel_restore.h"
#include "playback/loop_jump.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"
#include "song/channel_state.h"

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

void sendSysex(void* device, const Event& event, const std::uint8_t* data) {
  setMidiStatus(sendEvent(load(static_cast<MidiDevice*>(device)->midiOut), event, data));
}

bool seekDevice(LockedDevice& device, std::uint32_t ms) {
  Song& song = *load(device->song);
  // Past the end is the end: the position never leaves the song (nor becomes kNoPosition).
  if (ms > song.lengthMs) ms = song.lengthMs;
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(SongState));
  Resolved<SongState> state(block);
  // A seek whose blocks cannot be had leaves the song where it was.
  bool walked = false;
  if (state) {
    setMidiStatus(silencePort(*device));
    // All sound off too: what rang at the old position has no place at the new one.
    for (std::uint32_t c = 0; c < 16; ++c) {
      setMidiStatus(sendShort(*device, 0xB0 | c, 120, 0));
    }
    walked = channelStatesAt(load(song.tracks), load(song.trackCount), ms, kNoLoop, state->channels,
                             state->parameters, sendSysex, &*device);
    if (walked) sendChannelStates(*device, state->channels, state->parameters);
  }
  state.reset();
  GlobalFree(block);
  if (!walked) return false;
  // A song with nothing left ends at the next tick, as one bound with no events does.
  device.control().endedWhenBound = positionTracks(song, ms);
  store(device->clockMs, ms);
  enterLoopsAt(device, ms);  // as a play from 0 reaching `ms` would, counts in full
  return true;
}

}  // namespace

std::int32_t seek(HGLOBAL device, std::uint32_t ms) {
  return withDevice(device, -1, [&](LockedDevice& d) {
    if (load(d->state) == Idle) return -1;  // no song to move in
    return seekDevice(d, ms) ? 0 : -1;
  });
}

}  // namespace quavr
