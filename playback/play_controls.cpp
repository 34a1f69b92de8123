#include "playback/play_controls.h"

#include <algorithm>
#include <optional>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_mix.h"
#include "playback/device.h"
#include "playback/loop_jump.h"
#include "playback/render_device.h"
#include "song/records.h"

namespace quavr {

using namespace platform;

namespace {
constexpr std::int32_t kBadHandle = -1;
}  // namespace

// Never kNoPosition, which names no device, even when the clock has saturated.
std::uint32_t position(HGLOBAL device) {
  return withDevice(device, kNoPosition, [](LockedDevice& d) {
    if (load(d->state) == Idle) return 0u;
    return reportedMs(isRenderDevice(*d) ? renderPosition(*d) : loopedClockMs(*d));
  });
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
    MidiDevice::Fade& f = d->fade;
    f.from = load(d->volume);
    f.to = std::min<std::uint32_t>(percent, 100);
    f.ms = ms;
    f.elapsedMs = 0;
    f.then = then;
    f.atMs = atMs.value_or(0);
    store(f.waiting, atMs ? 1u : 0u);
    store(f.active, atMs ? 0u : 1u);
    if (isRenderDevice(*d) && !atMs) renderFadeBegins(*d);  // at frame 0 of the next render
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
      default:
        return QUAVR_NONE;
    }
  });
}

std::uint32_t version() {
  return QUAVR_VERSION_MAJOR << 16 | QUAVR_VERSION_MINOR << 8 | QUAVR_VERSION_PATCH;
}

}  // namespace quavr
