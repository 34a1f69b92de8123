#include "playback/play_controls.h"

#include <algorithm>
#include <optional>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_mix.h"
#include "playback/device.h"
#include "playback/loop_jump.h"
#include "playback/musical_clock.h"
#include "playback/queued_actions.h"
#include "playback/render_device.h"
#include "song/records.h"

namespace quavr {

using namespace platform;

namespace {
constexpr std::int32_t kBadHandle = -1;
}  // namespace

namespace {

// Never kNoPosition, which names no device, even when the clock has saturated.
std::uint32_t songPosition(const MidiDevice& d) {
  if (load(d.state) == Idle) return 0u;
  const std::uint32_t ms = isRenderDevice(d) ? renderPosition(d) : loopedClockMs(d);
  return std::min(ms, kNoPosition - 1);
}

}  // namespace

std::uint32_t position(HGLOBAL device) {
  return withDevice(device, kNoPosition, [](LockedDevice& d) { return songPosition(*d); });
}

std::int32_t setLoopCount(HGLOBAL device, std::int32_t count) {
  return withDevice(device, kBadHandle, [&](LockedDevice& d) {
    store(d->loopCount, count == QUAVR_LOOP_AS_FILE ? count : count < 0 ? -1 : count);
    store(d->repeat, 0);  // a count replaces the legacy flag: bgmGetRepeat reads it as 1
    return 0;
  });
}

std::int32_t setTempo(HGLOBAL device, std::uint32_t permille) {
  return withDevice(device, kBadHandle, [&](LockedDevice& d) {
    const std::uint32_t tempo = std::clamp<std::uint32_t>(permille, 250, 4000);
    if (isRenderDevice(*d)) retimeRenderClock(*d, tempo);
    store(d->tempo, tempo);
    if (load(d->state) != Idle) findBoundaries(*d, unplayedMs(*d));  // frames moved
    return 0;
  });
}

std::int32_t setVolume(HGLOBAL device, std::uint32_t percent) {
  return withDevice(device, kBadHandle, [&](LockedDevice& d) {
    cancelFade(*d);
    store(d->hostVolume, std::min<std::uint32_t>(percent, 100));
    applyVolume(*d, load(d->hostVolume));
    return 0;
  });
}

namespace {

// A fade replaces any other, running or waiting; `atMs` empty: it runs from the next tick.
std::int32_t setFade(HGLOBAL device, std::optional<std::uint32_t> atMs, std::uint32_t percent,
                     std::uint32_t ms, std::uint32_t then) {
  return withDevice(device, kBadHandle, [&](LockedDevice& d) {
    // A fade belongs to a song: with none bound it would carry over to the next.
    if (then > QUAVR_FADE_STOP || load(d->state) == Idle) return -1;
    beginFade(*d, percent, ms, then, atMs);
    return 0;
  });
}

}  // namespace

std::int32_t fade(HGLOBAL device, std::uint32_t percent, std::uint32_t ms, std::uint32_t then) {
  return setFade(device, std::nullopt, percent, ms, then);
}

std::int32_t fadeAt(HGLOBAL device, std::uint32_t atMs, std::uint32_t percent, std::uint32_t ms,
                    std::uint32_t then) {
  return setFade(device, atMs, percent, ms, then);
}

std::int32_t setChannelMask(HGLOBAL device, std::uint32_t muted) {
  return withDevice(device, kBadHandle, [&](LockedDevice& d) {
    applyChannelMask(*d, muted);
    return 0;
  });
}

std::uint32_t playInfo(HGLOBAL device, std::uint32_t what) {
  return withDevice(device, QUAVR_NONE, [&](LockedDevice& d) -> std::uint32_t {
    switch (what) {
      case QUAVR_PLAY_LOOPS_DONE:
        return load(d->loopsDone);
      case QUAVR_PLAY_LOOP_COUNT:
        return static_cast<std::uint32_t>(load(d->loopCount));
      case QUAVR_PLAY_VOLUME:
        return load(d->volume);
      case QUAVR_PLAY_TEMPO:
        return load(d->tempo);
      case QUAVR_PLAY_MUTED:
        return load(d->mutedChannels);
      case QUAVR_PLAY_MARKER:
        return load(d->lastMarker);
      case QUAVR_PLAY_EVENTS: {
        const std::uint32_t events = load(d->events);
        store(d->events, 0u);
        return events;
      }
      case QUAVR_PLAY_BAR_BEAT:
      case QUAVR_PLAY_TO_NEXT_BEAT:
      case QUAVR_PLAY_TO_NEXT_BAR:
        if (load(d->state) == Idle) return QUAVR_NONE;
        return musicalPlayInfo(*d, what, songPosition(*d));
      default:
        if (what >= QUAVR_PLAY_CHANNEL_VOLUME && what < QUAVR_PLAY_CHANNEL_VOLUME + 16)
          return d->layerVolume[what - QUAVR_PLAY_CHANNEL_VOLUME];
        return QUAVR_NONE;
    }
  });
}

std::uint32_t version() {
  return QUAVR_VERSION_MAJOR << 16 | QUAVR_VERSION_MINOR << 8 | QUAVR_VERSION_PATCH;
}

}  // namespace quavr
