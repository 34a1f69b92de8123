// The render device's driver: opening, the message sink, and bgmRender, which runs the shared
// sequencer (sendDue) at each due event's frame and synthesizes the frames between.
#include "playback/render_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/block.h"
#include "base/shared_value.h"
#include "playback/channel_layers.h"
#include "playback/channel_mix.h"
#include "playback/held_notes.h"
#include "playback/loop_jump.h"
#include "playback/midi_status.h"
#include "playback/playback_clock.h"
#include "song/records.h"

namespace quavr {

using namespace platform;

namespace {

constexpr std::uint64_t kNever = ~std::uint64_t{0};
constexpr std::uint32_t kLowestRate = 8000;
constexpr std::uint32_t kHighestRate = 192000;
constexpr std::uint32_t kStepsPerFrame = 1u << 16;

// ---- The sink

// A message of a host call, held for the sink until the next render; dropped when the hold is
// full (64 KiB of messages between two renders).
void hold(RenderState& r, const std::uint8_t* bytes, std::uint32_t length) {
  if (length > kHeldBytes - 2 || r.heldLength > kHeldBytes - 2 - length) return;
  r.held[r.heldLength] = static_cast<std::uint8_t>(length);
  r.held[r.heldLength + 1] = static_cast<std::uint8_t>(length >> 8);
  std::memcpy(r.held + r.heldLength + 2, bytes, length);
  r.heldLength += 2 + length;
}

void toSink(RenderState& r, std::uint32_t frame, const std::uint8_t* bytes, std::uint32_t length) {
  InSink scope;
  r.sink(r.sinkUser, frame, bytes, length);
}

void deliverHeld(RenderState& r) {
  for (std::uint32_t at = 0; at < r.heldLength;) {
    const std::uint32_t length = r.held[at] | std::uint32_t{r.held[at + 1]} << 8;
    toSink(r, 0, r.held + at + 2, length);
    at += 2 + length;
  }
  r.heldLength = 0;
}

// ---- Audio

bool knownFormat(const RenderState& r, const void* out, std::uint32_t format) {
  const std::uint32_t kind = format & ~QUAVR_RENDER_MIX;
  if (out == nullptr)
    return r.synth == 0 && (kind == 0 || kind == QUAVR_RENDER_F32 || kind == QUAVR_RENDER_S16);
  return kind == QUAVR_RENDER_F32 || kind == QUAVR_RENDER_S16;
}

void writeOut(const float* in, void* out, std::uint32_t at, std::uint32_t frames,
              std::uint32_t format) {
  const bool mix = (format & QUAVR_RENDER_MIX) != 0;
  const std::uint32_t samples = 2 * frames;
  if ((format & ~QUAVR_RENDER_MIX) == QUAVR_RENDER_F32) {
    float* o = static_cast<float*>(out) + 2 * std::size_t{at};
    for (std::uint32_t i = 0; i < samples; ++i) o[i] = mix ? o[i] + in[i] : in[i];
    return;
  }
  std::int16_t* o = static_cast<std::int16_t*>(out) + 2 * std::size_t{at};
  for (std::uint32_t i = 0; i < samples; ++i) {
    float v = in[i] * 32767.0f + (mix ? static_cast<float>(o[i]) : 0.0f);
    v = std::clamp(v, -32768.0f, 32767.0f);  // clipped, never wrapped
    o[i] = static_cast<std::int16_t>(std::lrint(v));
  }
}

// Synthesizes the next `frames` frames into `out` from frame `at` of the host's buffer.
void synthesize(RenderState& r, void* out, std::uint32_t at, std::uint64_t frames,
                std::uint32_t format) {
  while (frames != 0) {
    const auto chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, kRenderChunk));
    if (r.synth != 0) {
      renderWrite(r.synth, r.scratch, chunk);
    } else if (out != nullptr) {
      std::memset(r.scratch, 0, sizeof(float) * 2 * chunk);
    }
    if (out != nullptr) writeOut(r.scratch, out, at, chunk, format);
    r.frame += chunk;
    at += chunk;
    frames -= chunk;
  }
}

// ---- The sequencer at frames

// The song time of the next event any track has to send, of a loop jump or of a held note's end;
// kNever for none.
std::uint64_t nextDueMs(MidiDevice& device) {
  // Queued actions and beat lines are due at their song time as events are.
  std::uint64_t next = std::min(
      {nextLoopJumpMs(device), nextHeldNoteEnd(device), load(device.dueMs), device.nextBeatMs});
  if (next == kNoLoop) next = kNever;
  Song& song = *load(device.song);
  for (std::uint32_t t = 0; t < load(song.trackCount); ++t) {
    const Track& track = load(song.tracks)[t];
    const std::int32_t position = load(track.position);
    if (position != -1) next = std::min<std::uint64_t>(next, track.events[position].timeMs);
  }
  return next;
}

// A song with nothing left to send ends a ms of song time on, as at a tick of 1 ms: a pass of a
// song of length 0 on repeat takes that ms. kNever while it has something to send.
std::uint64_t emptyEndFrame(LockedDevice& device) {
  if (!device.control().endedWhenBound) return kNever;
  const std::uint32_t clock = load(device->clockMs);
  return renderFrameOf(*device, clock == kLastClockMs ? clock : clock + 1);
}

// The frame of the next thing the sequencer does: a fade step, the end of a song with no events,
// the next events or the loop jump.
std::uint64_t nextDueFrame(LockedDevice& device) {
  RenderState& r = *device->render;
  std::uint64_t due = load(device->fade.active) != 0 ? renderFadeStepFrame(*device) : kNever;
  if (layersFading(*device)) due = std::min(due, renderLayerStepFrame(*device));
  const std::uint64_t fadeMs = fadeDueMs(*device);
  if (fadeMs != kNoFadeDue) {
    due = std::min(due, renderFrameOf(*device, static_cast<std::uint32_t>(fadeMs)));
  }
  due = std::min(due, emptyEndFrame(device));
  const std::uint64_t ms = nextDueMs(*device);
  if (ms != kNever) {
    due = std::min(due, renderFrameOf(*device, static_cast<std::uint32_t>(ms)));
  }
  return std::max(due, r.frame);
}

// Does what is due at the current frame, in the order a tick does it: the fade step, the end of a
// song with no events, then the events (and the loop jump) at their song time.
void sendDueNow(LockedDevice& device) {
  RenderState& r = *device->render;
  const std::uint64_t fadeMs = fadeDueMs(*device);
  const bool fadeBegins =
      fadeMs != kNoFadeDue && renderFrameOf(*device, static_cast<std::uint32_t>(fadeMs)) <= r.frame;
  // A fade at a song time begins on that time's frame, with its first step, as a tick does.
  if (fadeBegins) {
    store(device->clockMs, std::max(load(device->clockMs), static_cast<std::uint32_t>(fadeMs)));
    renderFadeBegins(*device);
  }
  if (fadeBegins || (load(device->fade.active) != 0 && renderFadeStepFrame(*device) <= r.frame)) {
    stepFade(device, load(device->periodMs));  // may pause or stop
    return;
  }
  if (layersFading(*device) && renderLayerStepFrame(*device) <= r.frame) {
    ++r.layerSteps;
    stepLayers(*device, 1);
    return;
  }
  const std::uint32_t passes = load(device->loopsDone);
  if (emptyEndFrame(device) <= r.frame) {  // not a beat or an action due before it
    device.control().endedWhenBound = false;
    endOfSong(device);
  } else {
    const std::uint64_t due = nextDueMs(*device);
    if (due == kNever) return;
    const auto ms = static_cast<std::uint32_t>(std::max<std::uint64_t>(due, load(device->clockMs)));
    store(device->clockMs, ms);
    const std::uint32_t transitions = load(device->transitions);
    std::uint32_t sent = 0;
    sendDue(device, sent);
    // A jump (of any loop, a repeat of the song, a queued song or jump) moved the clock or
    // counted a pass. A queued action takes no frame of its own.
    const bool acted = load(device->transitions) != transitions;
    const bool jumped = acted || load(device->clockMs) != ms || load(device->loopsDone) != passes;
    if (load(device->state) == Playing && jumped) anchorAfterJump(*device, ms, !acted);
    return;
  }
  if (load(device->state) == Playing && load(device->loopsDone) != passes) {
    anchorRenderClock(*device, 0);  // the replay starts at the frame it ended on
  }
}

}  // namespace

MMRESULT renderMessage(MidiDevice& device, const std::uint8_t* bytes, std::uint32_t length,
                       bool isLong) {
  RenderState& r = *device.render;
  if (length == 0) return MMSYSERR_NOERROR;
  if (r.sink != nullptr) {
    if (r.rendering != 0) {
      toSink(r, static_cast<std::uint32_t>(r.frame - r.callStart), bytes, length);
    } else {
      hold(r, bytes, length);
    }
  }
  if (r.synth == 0) return MMSYSERR_NOERROR;
  if (isLong) return renderLongMsg(r.synth, bytes, length);
  return renderShortMsg(r.synth, bytes[0] | DWORD{length > 1 ? bytes[1] : 0u} << 8 |
                                     DWORD{length > 2 ? bytes[2] : 0u} << 16);
}

HGLOBAL openRenderDev(std::uint32_t sampleRate, const char* soundfont) {
  setMidiStatus(MMSYSERR_NOERROR, "");
  const bool effects = (sampleRate & QUAVR_RENDER_DRY) == 0;
  sampleRate &= ~QUAVR_RENDER_DRY;
  if (sampleRate < kLowestRate || sampleRate > kHighestRate) {
    setMidiStatus(MMSYSERR_INVALPARAM);
    return 0;
  }
  HRENDER synth = 0;
  if (soundfont == nullptr || *soundfont != '\0') {
    char why[256] = {};
    const MMRESULT result = renderOpen(&synth, sampleRate, soundfont, effects, why, sizeof why);
    if (result != MMSYSERR_NOERROR) {
      setMidiStatus(result, why);
      return 0;
    }
  }
  const HGLOBAL handle = GlobalAlloc(GHND, sizeof(MidiDevice));
  const HGLOBAL renderBlock = handle == 0 ? 0 : GlobalAlloc(GHND, sizeof(RenderState));
  Resolved<MidiDevice> device(handle);
  Resolved<RenderState> render(renderBlock);
  if (!device || !render) {
    device.reset();
    render.reset();
    GlobalFree(renderBlock);
    GlobalFree(handle);
    if (synth != 0) renderClose(synth);
    setMidiStatus(MMSYSERR_NOMEM);
    return 0;
  }
  setUpRecord(*device, 1);  // a fade steps once a ms of frames
  render->rate = sampleRate;
  render->synth = synth;
  device->renderBlock = renderBlock;
  device->render = render.release();  // resolved until the device closes
  addOpenDevice(handle);
  return handle;
}

MMRESULT closeRenderOutput(MidiDevice& device) {
  const MMRESULT result =
      device.render->synth == 0 ? MMSYSERR_NOERROR : renderClose(device.render->synth);
  device.render = nullptr;
  GlobalUnlock(device.renderBlock);
  GlobalFree(device.renderBlock);
  device.renderBlock = 0;
  return result;
}

std::int32_t render(HGLOBAL handle, void* out, std::uint32_t frames, std::uint32_t format) {
  LockedDevice device(handle);
  if (!device || !isRenderDevice(*device)) return -1;
  RenderState& r = *device->render;
  if (!knownFormat(r, out, format)) return -1;
  r.callStart = r.frame;
  r.rendering = 1;
  if (r.sink != nullptr) deliverHeld(r);
  const std::uint64_t end = r.frame + frames;
  std::uint64_t songFrames = 0;
  std::uint32_t steps = 0;  // done at this frame
  while (r.frame < end) {
    std::uint64_t until = end;
    const bool playing = load(device->state) == Playing;
    if (playing) {
      const std::uint64_t due = nextDueFrame(device);
      // A frame holds a few steps (its events, a fade step, a jump); one that never stops
      // stepping (a loop whose restore cannot be read) lets the frame go by.
      if (due == r.frame && ++steps < kStepsPerFrame) {
        sendDueNow(device);
        continue;
      }
      until = std::min(until, std::max(due, r.frame + 1));
    }
    steps = 0;
    const std::uint64_t from = r.frame;
    synthesize(r, out, static_cast<std::uint32_t>(from - r.callStart), until - from, format);
    if (playing) songFrames += until - from;
  }
  r.rendering = 0;
  return static_cast<std::int32_t>(std::min<std::uint64_t>(songFrames, 0x7FFFFFFF));
}

std::int32_t setMessageSink(HGLOBAL handle, QuavrMessageSink sink, void* user) {
  return withDevice(handle, -1, [&](LockedDevice& d) {
    if (!isRenderDevice(*d)) return -1;
    d->render->sink = sink;
    d->render->sinkUser = user;
    d->render->heldLength = 0;
    return 0;
  });
}

}  // namespace quavr
