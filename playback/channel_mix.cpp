#include "playback/channel_mix.h"

#include <algorithm>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/held_notes.h"
#include "playback/loop_jump.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"
#include "playback/queued_actions.h"
#include "playback/render_device.h"
#include "playback/transport.h"

namespace quavr {

using namespace platform;

namespace {

// The device volume and the channel's own, in one rounding.
std::uint32_t scaled(const MidiDevice& device, std::uint32_t channel, std::uint32_t value) {
  return value * load(device.volume) * device.layerVolume[channel] / 10000;
}

}  // namespace

MMRESULT sendMixed(LockedDevice& device, const Event& event, const std::uint8_t* data) {
  if (event.kind == kChannelEvent) {
    const std::uint8_t* b = data + event.offset;
    const std::uint32_t type = b[0] & 0xF0u;
    if (type == 0xB0 && b[1] == 7) return sendController(*device, b[0] & 0x0Fu, 7, b[2]);
    if ((type == 0x80 || type == 0x90) && (load(device->mutedChannels) >> (b[0] & 0x0F) & 1) != 0) {
      return MMSYSERR_NOERROR;
    }
  }
  const MMRESULT result = sendEvent(*device, event, data);
  noteSent(*device, event, data);
  if (event.kind == kChannelEvent) {
    store(device->usedChannels, load(device->usedChannels) | 1u << (data[event.offset] & 0x0F));
  }
  return result;
}

MMRESULT sendController(MidiDevice& device, std::uint32_t channel, std::uint32_t controller,
                        std::uint32_t value) {
  if (controller == 7) {
    device.songVolume[channel] = static_cast<std::uint8_t>(value);
    value = scaled(device, channel, value);
  }
  store(device.usedChannels, load(device.usedChannels) | 1u << channel);
  return sendShort(device, 0xB0 | channel, controller, value);
}

void applyVolume(MidiDevice& device, std::uint32_t percent) {
  if (percent == load(device.volume)) return;
  store(device.volume, percent);
  if (load(device.state) == Idle) return;  // no song on the port to turn down
  for (std::uint32_t c = 0; c < 16; ++c) {
    setMidiStatus(sendController(device, c, 7, device.songVolume[c]));
  }
}

void endNotes(MidiDevice& device, std::uint32_t mask) {
  for (std::uint32_t c = 0; c < 16; ++c) {
    if ((mask >> c & 1) == 0) continue;
    for (std::uint32_t key = 0; key < 128; ++key) {
      if ((device.soundingNotes[c][key >> 6] >> (key & 63) & 1) != 0) {
        setMidiStatus(sendShort(device, 0x80 | c, key, 0));
      }
    }
    device.soundingNotes[c][0] = device.soundingNotes[c][1] = 0;
  }
  dropHeldNotes(device, mask);
}

void applyChannelMask(MidiDevice& device, std::uint32_t mask) {
  mask &= 0xFFFF;
  const std::uint32_t newlyMuted = mask & ~load(device.mutedChannels);
  store(device.mutedChannels, mask);
  endNotes(device, newlyMuted);
}

std::uint64_t fadeDueMs(const MidiDevice& device) {
  if (load(device.fade.waiting) == 0) return kNoFadeDue;
  // The last pass: no pass of the device's count left (with the file's counts, from the start).
  const std::int32_t count = load(device.loopCount);
  if (count != 0 && count != QUAVR_LOOP_AS_FILE) return kNoFadeDue;
  return device.fade.atMs;
}

namespace {

// A fade waiting for a song time begins when the round about to play reaches it in the last
// pass, from the volume as it stands then.
void beginFadeDue(MidiDevice& device) {
  MidiDevice::Fade& fade = device.fade;
  if (fadeDueMs(device) > load(device.clockMs)) return;
  store(fade.waiting, 0u);
  fade.from = load(device.volume);
  fade.elapsedMs = 0;
  store(fade.active, 1u);
}

}  // namespace

void beginFade(MidiDevice& device, std::uint32_t percent, std::uint32_t ms, std::uint32_t then,
               std::optional<std::uint32_t> atMs) {
  MidiDevice::Fade& f = device.fade;
  f.from = load(device.volume);
  f.to = std::min<std::uint32_t>(percent, 100);
  f.ms = ms;
  f.elapsedMs = 0;
  f.then = then;
  f.atMs = atMs.value_or(0);
  store(f.waiting, atMs ? 1u : 0u);
  store(f.active, atMs ? 0u : 1u);
  if (isRenderDevice(device) && !atMs) renderFadeBegins(device);  // steps from this frame
}

void cancelFade(MidiDevice& device) {
  store(device.fade.active, 0u);
  store(device.fade.waiting, 0u);
}

void endFade(MidiDevice& device) {
  if (load(device.fade.active) != 0) applyVolume(device, device.fade.from);
  cancelFade(device);
}

void stepFade(LockedDevice& device, std::uint32_t playedMs) {
  MidiDevice::Fade& fade = device->fade;
  beginFadeDue(*device);
  if (load(fade.active) == 0) return;
  const std::uint64_t elapsed = std::uint64_t{fade.elapsedMs} + playedMs;
  fade.elapsedMs = elapsed < fade.ms ? static_cast<std::uint32_t>(elapsed) : fade.ms;
  // Linear from `from` at 0 to `to` at the end, exactly there at the last step.
  const std::int64_t span = static_cast<std::int64_t>(fade.to) - fade.from;
  const auto percent =
      static_cast<std::uint32_t>(fade.from + span * fade.elapsedMs / (fade.ms == 0 ? 1 : fade.ms));
  applyVolume(*device, fade.ms == 0 ? fade.to : percent);
  if (fade.elapsedMs < fade.ms) return;
  store(fade.active, 0u);
  if (fade.then == QUAVR_FADE_CONTINUE) store(device->hostVolume, fade.to);  // later songs' too
  store(device->events, load(device->events) | QUAVR_EVENT_FADE_DONE);
  if (fade.then == QUAVR_FADE_PAUSE) pauseDevice(device);
  if (fade.then == QUAVR_FADE_STOP) {
    dropQueue(*device);  // a stop ends what was queued
    stopDevice(device);
  }
}

}  // namespace quavr
