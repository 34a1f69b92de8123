#include "playback/transport.h"

#include "include/quavr.h"
#include "interface/block.h"
#include "interface/shared_value.h"
#include "playback/playback_clock.h"
#include "song/records.h"
#include "song/song_registry.h"

namespace quavr {

using namespace platform;

namespace {

// Releases what binding resolved, from the last track back to the song record.
void releaseSong(Song& song, HGLOBAL songHandle, std::uint32_t boundTracks) {
  Resolved<Track> table(song.trackTable);  // a resolve of our own to walk the tracks
  for (std::uint32_t t = 0; t < boundTracks; ++t) {
    GlobalUnlock(table[t].dataBlock);
    GlobalUnlock(table[t].eventBlock);
  }
  table.reset();
  if (song.trackTable != 0) GlobalUnlock(song.trackTable);
  GlobalUnlock(songHandle);
}

// Binds the song to the device and rewinds it; the song's blocks stay resolved until it is
// unbound. False, with nothing changed, when the handle names no loaded song or the song is
// bound elsewhere (its record is resolved). Decided under the song registry's lock, so a
// delete cannot come in between.
bool bindSong(LockedDevice& device, HGLOBAL songHandle) {
  bool bound = false;
  withLoadedSong(songHandle, [&] {
    if ((GlobalFlags(songHandle) & GMEM_LOCKCOUNT) != 0) return;
    Resolved<Song> song(songHandle);
    if (!song) return;
    Resolved<Track> tracks(song->trackTable);
    if (song->trackCount != 0 && !tracks) return;
    std::uint32_t finished = 0;
    for (std::uint32_t t = 0; t < song->trackCount; ++t) {
      Track& track = tracks[t];
      Resolved<std::uint8_t> data(track.dataBlock);
      Resolved<Event> events(track.eventBlock);
      const bool empty = track.eventCount == 0;
      if (!empty && (!data || !events)) {
        tracks.reset();
        releaseSong(*song.release(), songHandle, t);
        return;
      }
      store(track.data, data.release());
      store(track.events, events.release());
      // A track without events has ended before it began.
      store(track.position, empty ? -1 : 0);
      finished += empty ? 1 : 0;
    }
    device.control().endedWhenBound = finished != 0 && finished == song->trackCount;
    store(song->tracks, tracks.release());
    store(song->finishedTracks, finished);
    store(device->songHandle, songHandle);
    store(device->song, song.release());
    bound = true;
  });
  if (!bound) return false;
  store(device->clockMs, 0);
  store(device->state, Ready);
  return true;
}

void unbindSong(MidiDevice& device) {
  Song& song = *load(device.song);
  releaseSong(song, load(device.songHandle), load(song.trackCount));
  store(device.state, Idle);
}

}  // namespace

std::int32_t playDevice(LockedDevice& device, HGLOBAL song) {
  const std::int32_t state = load(device->state);
  if (state == Idle && bindSong(device, song)) startClock(device);
  return state;
}

std::int32_t stopDevice(LockedDevice& device) {
  switch (load(device->state)) {
    case Playing:
      if (haltClock(device) != TIMERR_NOERROR) break;
      [[fallthrough]];
    case Paused:
      unbindSong(*device);
      break;
    default:
      break;
  }
  return load(device->state);
}

std::int32_t pauseDevice(LockedDevice& device) {
  switch (load(device->state)) {
    case Playing:
      haltClock(device);
      break;
    case Paused:
      startClock(device);
      break;
    default:
      break;
  }
  return load(device->state);
}

void releaseDevice(LockedDevice& device) {
  stopDevice(device);
  // Still bound: Ready (the timer never started), or Playing with a timer the platform would
  // not kill. A device that goes away must not keep its song resolved, or the song could never
  // be deleted; a tick of that timer finds no device and does nothing.
  if (load(device->state) != Idle) unbindSong(*device);
}

std::int32_t play(HGLOBAL handle, HGLOBAL song) {
  LockedDevice device(handle);
  return device ? playDevice(device, song) : kNoDevice;
}

std::int32_t stop(HGLOBAL handle) {
  LockedDevice device(handle);
  return device ? stopDevice(device) : kNoDevice;
}

std::int32_t pause(HGLOBAL handle) {
  LockedDevice device(handle);
  return device ? pauseDevice(device) : kNoDevice;
}

std::int32_t setRepeat(HGLOBAL handle, std::int32_t repeat) {
  LockedDevice device(handle);
  if (!device) return 0;
  store(device->repeat, repeat);
  return repeat;
}

std::int32_t getRepeat(HGLOBAL handle) {
  LockedDevice device(handle);
  return device ? load(device->repeat) : 0;
}

std::int32_t deviceState(HGLOBAL handle) {
  LockedDevice device(handle);
  return device ? load(device->state) : kNoDevice;
}

}  // namespace quavr
