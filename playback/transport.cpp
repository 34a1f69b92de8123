#include "playback/transport.h"

#include "base/block.h"
#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_mix.h"
#include "playback/loop_jump.h"
#include "playback/musical_clock.h"
#include "playback/playback_clock.h"
#include "playback/queued_actions.h"
#include "playback/render_device.h"
#include "playback/song_position.h"
#include "song/records.h"
#include "song/song_registry.h"

namespace quavr {

using namespace platform;

namespace {

// The one place a device's state changes: Ready when a song is bound, Playing while its clock
// runs, Paused while it is halted, Idle once the song is unbound.
void setState(MidiDevice& device, std::int32_t state) {
  store(device.state, state);
}

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

}  // namespace

Song* reserveSong(HGLOBAL songHandle) {
  Song* reserved = nullptr;
  withLoadedSong(songHandle, [&] {
    if (songIsBound(songHandle)) return;
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
    store(song->tracks, tracks.release());
    store(song->finishedTracks, finished);
    reserved = song.release();
  });
  return reserved;
}

void releaseReservedSong(HGLOBAL songHandle, Song& song) {
  releaseSong(song, songHandle, load(song.trackCount));
}

namespace {

// A new song on the device: its own passes, markers, channel volumes and channels used.
void freshSongFields(MidiDevice& device) {
  store(device.loopsDone, 0u);
  store(device.lastMarker, QUAVR_NONE);
  for (std::uint8_t& v : device.songVolume) v = 100;
  store(device.usedChannels, 0u);
}

// Binds the song to the device and rewinds it; the song's blocks stay resolved until it is
// unbound. False, with nothing changed, when the handle names no loaded song or the song is
// bound elsewhere (its record is resolved). Decided under the song registry's lock, so a
// delete cannot come in between.
bool bindSong(LockedDevice& device, HGLOBAL songHandle) {
  Song* song = reserveSong(songHandle);
  if (song == nullptr) return false;
  const std::uint32_t finished = load(song->finishedTracks);
  device.control().endedWhenBound = finished != 0 && finished == load(song->trackCount);
  store(device->songHandle, songHandle);
  store(device->song, song);
  store(device->usedChannels, 0u);
  store(device->clockMs, 0);
  enterLoopsAt(device, 0);
  setState(*device, Ready);
  positionMoved(*device, 0);
  return true;
}

void unbindSong(MidiDevice& device) {
  Song& song = *load(device.song);
  releaseSong(song, load(device.songHandle), load(song.trackCount));
  setState(device, Idle);
}

// A render device's clock is its host's render calls: there is no timer to start or kill.
void startPlaying(LockedDevice& device) {
  if (isRenderDevice(*device)) {
    if (load(device->state) == Paused) renderResumed(*device);
  } else if (startClock(device) == 0) {
    return;
  }
  setState(*device, Playing);
}

bool halt(LockedDevice& device) {
  if (isRenderDevice(*device)) {
    silencePort(*device);
    renderHalted(*device);
  } else if (haltClock(device) != TIMERR_NOERROR) {
    return false;
  }
  setState(*device, Paused);
  return true;
}

}  // namespace

void swapSong(LockedDevice& device, HGLOBAL songHandle, Song& song) {
  if (songHandle != load(device->songHandle)) {
    Song& old = *load(device->song);
    releaseSong(old, load(device->songHandle), load(old.trackCount));
    store(device->songHandle, songHandle);
    store(device->song, &song);
  }
  freshSongFields(*device);
}

std::int32_t playDevice(LockedDevice& device, HGLOBAL song) {
  const std::int32_t state = load(device->state);
  if (state == Idle && bindSong(device, song)) startPlaying(device);
  return state;
}

std::int32_t stopDevice(LockedDevice& device) {
  switch (load(device->state)) {
    case Playing:
      if (!halt(device)) break;
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
      halt(device);
      break;
    case Paused:
      startPlaying(device);
      break;
    default:
      break;
  }
  return load(device->state);
}

void releaseDevice(LockedDevice& device) {
  releaseQueue(*device);
  stopDevice(device);
  // Still bound: Ready (the timer never started), or Playing with a timer the platform would
  // not kill. A device that goes away must not keep its song resolved, or the song could never
  // be deleted; a tick of that timer finds no device and does nothing.
  if (load(device->state) != Idle) unbindSong(*device);
}

namespace {

std::int32_t bindFresh(LockedDevice& d, HGLOBAL song, bool start) {
  dropQueue(*d);
  const std::int32_t state = load(d->state);
  if (state != Idle) return state;
  store(d->volume, load(d->hostVolume));  // a new song: its own count of passes, its own volumes
  freshSongFields(*d);
  store(d->clockCarry, 0u);
  if (!bindSong(d, song)) return state;
  if (isRenderDevice(*d)) anchorRenderClock(*d, 0);
  if (start) startPlaying(d);
  return state;
}

}  // namespace

std::int32_t play(HGLOBAL device, HGLOBAL song) {
  return withDevice(device, kNoDevice, [&](LockedDevice& d) { return bindFresh(d, song, true); });
}

std::int32_t bindForPlay(HGLOBAL device, HGLOBAL song) {
  return withDevice(device, kNoDevice, [&](LockedDevice& d) { return bindFresh(d, song, false); });
}

bool startReady(LockedDevice& device) {
  if (load(device->state) != Ready) return false;
  startPlaying(device);
  return load(device->state) == Playing;
}

std::int32_t stop(HGLOBAL device) {
  return withDevice(device, kNoDevice, [](LockedDevice& d) {
    dropQueue(*d);
    const std::int32_t state = stopDevice(d);
    endFade(*d);  // a fade belongs to the playback the host ends here
    return state;
  });
}

std::int32_t pause(HGLOBAL device) {
  return withDevice(device, kNoDevice, pauseDevice);
}

// The legacy flag is a loop count: on, forever; off, none. A host that set it reads back what
// it set for as long as the count has not run out.
std::int32_t setRepeat(HGLOBAL device, std::int32_t repeat) {
  return withDevice(device, 0, [&](LockedDevice& d) {
    store(d->repeat, repeat);
    store(d->loopCount, repeat != 0 ? -1 : 0);
    return repeat;
  });
}

std::int32_t getRepeat(HGLOBAL device) {
  return withDevice(device, 0, [](LockedDevice& d) {
    if (load(d->loopCount) == 0) return 0;
    return load(d->repeat) != 0 ? load(d->repeat) : 1;
  });
}

std::int32_t deviceState(HGLOBAL device) {
  return withDevice(device, kNoDevice, [](LockedDevice& d) { return load(d->state); });
}

}  // namespace quavr
