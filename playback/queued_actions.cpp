#include "playback/queued_actions.h"

#include <algorithm>
#include <utility>

#include "base/block.h"
#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_layers.h"
#include "playback/channel_mix.h"
#include "playback/loop_jump.h"
#include "playback/musical_clock.h"
#include "playback/song_position.h"
#include "playback/song_transition.h"
#include "playback/transport.h"
#include "song/musical_time.h"
#include "song/song_registry.h"

namespace quavr {

using namespace platform;

namespace {

using Queued = MidiDevice::Queued;

// What a slot holds (0: nothing).
constexpr std::uint32_t kSong = 1;
constexpr std::uint32_t kJump = 2;
constexpr std::uint32_t kStop = 3;
constexpr std::uint32_t kFade = 4;
constexpr std::uint32_t kLayer = 5;

constexpr std::uint32_t kSongFlags = QUAVR_TAIL_RING | QUAVR_FADE_IN(0xFFFF);

std::uint32_t kindOf(std::uint32_t when) {
  return when & 0xFF;
}

// A known kind, "every N" only on beats and bars, a marker's index only on markers.
bool validWhen(std::uint32_t when) {
  const std::uint32_t kind = kindOf(when);
  return kind <= QUAVR_AT_END &&
         ((when & 0xFF00) == 0 || kind == QUAVR_AT_BEAT || kind == QUAVR_AT_BAR) &&
         (when >> 16 == 0 || kind == QUAVR_AT_MARKER);
}

void raise(MidiDevice& device, std::uint32_t event) {
  store(device.events, load(device.events) | event);
}

// The time of the song's marker `index` (the bound song's tracks are resolved).
std::uint32_t markerTime(const Song& song, std::uint32_t index) {
  Resolved<MarkerRef> markers(song.markerBlock);
  if (!markers) return kNoLoop;
  const MarkerRef& m = markers[index];
  return load(song.tracks)[m.track].events[m.index].timeMs;
}

// The next marker at or after `fromMs`: any (`index` kNoLoop), or that one, in this pass; a
// marker behind it waits for the pass a loop brings, unless none does (`reachable` false).
std::uint32_t markerBoundary(MidiDevice& device, const Song& song, std::uint32_t index,
                             std::uint32_t fromMs, bool& reachable) {
  if (index == kNoLoop) {
    std::uint32_t next = kNoLoop;
    for (std::uint32_t i = 0; i < song.markerCount; ++i) {
      const std::uint32_t t = markerTime(song, i);
      if (t >= fromMs && t < next) next = t;
    }
    return next;
  }
  const std::uint32_t t = index < song.markerCount ? markerTime(song, index) : kNoLoop;
  if (t != kNoLoop && t >= fromMs) return t;
  reachable = t != kNoLoop && playedAgain(device, t, fromMs);
  return kNoLoop;
}

// The boundary of rule `when` at or after `fromMs` in the bound song; kNoLoop when none comes in
// this pass (a loop jump or a replay finds it again).
std::uint32_t boundaryOf(MidiDevice& device, std::uint32_t when, std::uint32_t fromMs,
                         bool& reachable) {
  const Song& song = *load(device.song);
  switch (kindOf(when)) {
    case QUAVR_AT_NOW:
      return fromMs;
    case QUAVR_AT_BEAT:
    case QUAVR_AT_BAR: {
      const GridUnit unit = kindOf(when) == QUAVR_AT_BAR ? GridUnit::Bar : GridUnit::Beat;
      const std::uint32_t at = SongGrid(song).nextAt(unit, when >> 8 & 0xFF, fromMs);
      return at == kNoTime ? kNoLoop : at;
    }
    case QUAVR_AT_MARKER:
      return markerBoundary(device, song, (when >> 16) - 1, fromMs, reachable);
    case QUAVR_AT_LOOP_END: {
      const std::uint32_t end = nextLoopEndMs(device, fromMs);
      if (end != kNoLoop) return end;
      [[fallthrough]];
    }
    default: {  // the song's end
      const std::uint32_t end = reportedLength(song);
      return end >= fromMs ? end : kNoLoop;
    }
  }
}

// Every slot, in the order actions take effect at one boundary.
template <class Fn>
void forEachSlot(MidiDevice& device, Fn&& fn) {
  fn(device.transport);
  fn(device.queuedFade);
  for (Queued& layer : device.queuedLayers) fn(layer);
}

void updateDue(MidiDevice& device) {
  std::uint32_t due = kNoLoop;
  forEachSlot(device, [&](const Queued& q) {
    if (q.kind != 0) due = std::min(due, q.dueMs);
  });
  store(device.dueMs, due);
}

// Empties a slot; a queued song is let go.
Queued take(MidiDevice& device, Queued& slot) {
  const Queued taken = std::exchange(slot, Queued{});
  if (taken.kind == kSong && device.queuedSong != nullptr) {
    releaseReservedSong(device.queuedSongHandle, *device.queuedSong);
    device.queuedSong = nullptr;
    device.queuedSongHandle = 0;
  }
  return taken;
}

void drop(MidiDevice& device, Queued& slot) {
  if (slot.kind == 0) return;
  take(device, slot);
  raise(device, QUAVR_EVENT_DROPPED);
}

// Puts an action in its slot, replacing (dropping) what was there.
void put(MidiDevice& device, Queued& slot, const Queued& action) {
  drop(device, slot);
  slot = action;
  updateDue(device);
}

// Runs fn(device, boundary) on a device with a song bound, the rule's boundary found from the
// first song time not played; -1 for a bad handle, an unknown rule, an Idle device, or a marker
// no pass reaches.
template <class Fn>
std::int32_t withBoundary(HGLOBAL handle, std::uint32_t when, Fn&& fn) {
  if (!validWhen(when)) return -1;
  return withDevice(handle, -1, [&](LockedDevice& d) -> std::int32_t {
    if (load(d->state) == Idle) return -1;
    bool reachable = true;
    const std::uint32_t due = boundaryOf(*d, when, unplayedMs(*d), reachable);
    return reachable ? fn(d, due) : -1;
  });
}

// The tracks of a loaded song; kNoLoop for a handle that names none.
std::uint32_t trackCountOf(HGLOBAL songHandle) {
  std::uint32_t count = kNoLoop;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (song) count = song->trackCount;
  });
  return count;
}

// A transport action, queued by put(device, boundary), whose chase will be walked in a room made
// here for the song it walks (`chased`, else the song playing), before the device's lock is
// taken; the device keeps the room once the action is queued. Tried again should the song playing
// change meanwhile.
template <class Put>
std::int32_t queueTransition(HGLOBAL device, std::uint32_t when, HGLOBAL chased, Put&& put) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const HGLOBAL song = chased != 0 ? chased : withDevice(device, HGLOBAL{0}, [](LockedDevice& d) {
      return load(d->songHandle);
    });
    const std::uint32_t tracks = trackCountOf(song);
    if (tracks == kNoLoop) return -1;
    HGLOBAL spare = makeChaseRoom(tracks);
    if (spare == 0) return -1;
    bool fits = true;
    const std::int32_t result = withBoundary(device, when, [&](LockedDevice& d, std::uint32_t due) {
      fits = chased != 0 || load(d->songHandle) == song;
      if (!fits) return -1;
      const std::int32_t queued = put(d, due);
      if (queued == 0) spare = std::exchange(d->chaseBlock, spare);
      return queued;
    });
    GlobalFree(spare);
    if (fits) return result;
  }
  return -1;
}

// Plays `song` on an Idle device at once: from `entryMs`, rising with its fade-in. It starts only
// once both are set, so no tick plays the song's beginning first.
std::int32_t playAtOnce(HGLOBAL device, HGLOBAL song, std::uint32_t entryMs, std::uint32_t flags) {
  if (bindForPlay(device, song) != Idle || deviceState(device) != Ready) return -1;
  const bool entered = entryMs == QUAVR_NONE || entryMs == 0 || seek(device, entryMs) == 0;
  return withDevice(device, -1, [&](LockedDevice& d) {
    if (!entered) {
      releaseDevice(d);  // not played at all rather than from elsewhere
      return -1;
    }
    if (!startReady(d)) return -1;
    applyVolume(*d, (flags >> 16) != 0 ? 0 : load(d->hostVolume));
    if ((flags >> 16) != 0) beginFade(*d, load(d->hostVolume), flags >> 16, QUAVR_FADE_CONTINUE);
    return 0;
  });
}

}  // namespace

std::int32_t queueSong(HGLOBAL device, HGLOBAL song, std::uint32_t when, std::uint32_t entryMs,
                       std::uint32_t flags) {
  if ((flags & ~kSongFlags) != 0 || !validWhen(when) || song == 0) return -1;
  if (deviceState(device) == Idle) return playAtOnce(device, song, entryMs, flags);
  return queueTransition(device, when, song, [&](LockedDevice& d, std::uint32_t due) {
    Song* reserved = nullptr;
    if (d->queuedSong != nullptr && song == d->queuedSongHandle) {  // queued again: still held
      reserved = std::exchange(d->queuedSong, nullptr);
      d->queuedSongHandle = 0;
    } else if (song != d->songHandle && (reserved = reserveSong(song)) == nullptr) {
      return -1;  // not loaded, or held by a device
    }
    put(*d, d->transport, {kSong, when, due, entryMs, flags, 0, 0, 0});
    d->queuedSongHandle = reserved != nullptr ? song : 0;
    d->queuedSong = reserved;
    return 0;
  });
}

std::int32_t queueJump(HGLOBAL device, std::uint32_t when, std::uint32_t targetMs,
                       std::uint32_t flags) {
  if ((flags & ~QUAVR_TAIL_RING) != 0) return -1;
  return queueTransition(device, when, 0, [&](LockedDevice& d, std::uint32_t due) {
    put(*d, d->transport, {kJump, when, due, targetMs, flags, 0, 0, 0});
    return 0;
  });
}

std::int32_t queueStop(HGLOBAL device, std::uint32_t when) {
  return withBoundary(device, when, [&](LockedDevice& d, std::uint32_t due) {
    put(*d, d->transport, {kStop, when, due, 0, 0, 0, 0, 0});
    return 0;
  });
}

std::int32_t queueFade(HGLOBAL device, std::uint32_t when, std::uint32_t percent, std::uint32_t ms,
                       std::uint32_t then) {
  if (then > QUAVR_FADE_STOP) return -1;
  return withBoundary(device, when, [&](LockedDevice& d, std::uint32_t due) {
    put(*d, d->queuedFade,
        {kFade, when, due, 0, 0, std::min<std::uint32_t>(percent, 100), ms, then});
    return 0;
  });
}

std::int32_t cancelQueued(HGLOBAL device) {
  return withDevice(device, -1, [](LockedDevice& d) {
    dropQueue(*d);
    return 0;
  });
}

std::int32_t fadeChannels(HGLOBAL device, std::uint32_t when, std::uint32_t mask,
                          std::uint32_t percent, std::uint32_t ms) {
  if (!validWhen(when)) return -1;
  if (deviceState(device) == Idle) {  // no song: no time passes, nothing to wait for
    return withDevice(device, -1, [&](LockedDevice& d) {
      beginLayerFades(*d, mask, percent, ms);
      return 0;
    });
  }
  return withBoundary(device, when, [&](LockedDevice& d, std::uint32_t due) {
    for (std::uint32_t c = 0; c < 16; ++c) {
      if ((mask >> c & 1) != 0)
        put(*d, d->queuedLayers[c],
            {kLayer, when, due, 0, 0, std::min<std::uint32_t>(percent, 100), ms, 0});
    }
    return 0;
  });
}

void findBoundaries(MidiDevice& device, std::uint32_t fromMs) {
  forEachSlot(device, [&](Queued& q) {
    if (q.kind == 0) return;
    bool reachable = true;
    q.dueMs = boundaryOf(device, q.when, fromMs, reachable);
    if (!reachable) drop(device, q);
  });
  updateDue(device);
}

void actAtBoundary(LockedDevice& device, std::uint32_t clockMs) {
  MidiDevice& d = *device;
  const std::uint32_t at = load(d.dueMs);
  // What is due here acts here, even once the transport action has moved the song.
  const auto dueHere = [&](const Queued& q) { return q.kind != 0 && q.dueMs == at; };
  const bool fadeDue = dueHere(d.queuedFade);
  std::uint32_t layersDue = 0;
  for (std::uint32_t c = 0; c < 16; ++c) layersDue |= dueHere(d.queuedLayers[c]) ? 1u << c : 0;
  raise(d, QUAVR_EVENT_QUEUED);
  if (dueHere(d.transport)) {
    if (d.transport.kind == kStop) {
      d.transport = {};
      dropQueue(d);
      stopDevice(device);
      endFade(d);  // as bgmStop
      return;
    }
    const bool newSong = d.transport.kind == kSong;
    Transition to{load(d.songHandle), load(d.song), d.transport.targetMs, d.transport.flags,
                  newSong};
    if (newSong && d.queuedSong != nullptr) {  // bound now: no longer the queue's to let go
      to.songHandle = std::exchange(d.queuedSongHandle, HGLOBAL{0});
      to.song = std::exchange(d.queuedSong, nullptr);
    }
    d.transport = {};
    transition(device, to, at, clockMs);
  }
  if (fadeDue && d.queuedFade.kind != 0) {
    const Queued fade = take(d, d.queuedFade);
    beginFade(d, fade.percent, fade.ms, fade.then);
    stepFade(device, load(d.periodMs));  // its first step, as bgmFadeAt's; may pause or stop
    if (load(d.state) == Idle) return;
  }
  for (std::uint32_t c = 0; c < 16; ++c) {
    Queued& layer = d.queuedLayers[c];
    if ((layersDue >> c & 1) == 0 || layer.kind == 0) continue;
    const Queued l = take(d, layer);
    beginLayerFades(d, 1u << c, l.percent, l.ms);
  }
  updateDue(d);
}

void dropQueue(MidiDevice& device) {
  forEachSlot(device, [&](Queued& q) { drop(device, q); });
  store(device.dueMs, kNoLoop);
}

void releaseQueue(MidiDevice& device) {
  dropQueue(device);
  device.chaseBlock = GlobalFree(device.chaseBlock);
}

}  // namespace quavr
