// A render device's song clock in frames. Song time anchorMs sits at frame anchorUnits / tempo;
// every later time t at frame (anchorUnits + (t - anchorMs) * rate) / tempo, in 64 bits, so an
// event's frame is exact whatever the anchors before it: nothing rounded adds up.
#include "base/shared_value.h"
#include "playback/render_device.h"

namespace quavr {

namespace {

// Where the song clock stands: the next frame to render, or the frame it stopped at.
std::uint64_t songFrame(const MidiDevice& device) {
  const RenderState& r = *device.render;
  return load(device.state) == Paused ? r.pausedAt : r.frame;
}

std::int64_t units(std::uint64_t frame, std::uint32_t tempo) {
  return static_cast<std::int64_t>(frame) * tempo;
}

}  // namespace

void anchorRenderClock(MidiDevice& device, std::uint32_t ms) {
  RenderState& r = *device.render;
  r.anchorUnits = units(songFrame(device), load(device.tempo));
  r.anchorMs = ms;
}

void renderHalted(MidiDevice& device) {
  device.render->pausedAt = device.render->frame;
}

void renderResumed(MidiDevice& device) {
  RenderState& r = *device.render;
  r.anchorUnits += units(r.frame - r.pausedAt, load(device.tempo));
  r.fadeStart += r.frame - r.pausedAt;  // fades freeze while paused
  r.layerFadeStart += r.frame - r.pausedAt;
}

void renderFadeBegins(MidiDevice& device) {
  device.render->fadeStart = songFrame(device);
}

std::uint64_t renderFadeStepFrame(const MidiDevice& device) {
  const RenderState& r = *device.render;
  return r.fadeStart + std::uint64_t{device.fade.elapsedMs} * r.rate / 1000;
}

void renderLayerFadesBegin(MidiDevice& device) {
  device.render->layerFadeStart = songFrame(device);
  device.render->layerSteps = 0;
}

std::uint64_t renderLayerStepFrame(const MidiDevice& device) {
  const RenderState& r = *device.render;
  return r.layerFadeStart + (r.layerSteps + 1) * r.rate / 1000;
}

void retimeRenderClock(MidiDevice& device, std::uint32_t permille) {
  RenderState& r = *device.render;
  const std::uint64_t at = songFrame(device);
  // The song time already played since the anchor stays; only what follows runs at the new speed.
  const std::int64_t played = units(at, load(device.tempo)) - r.anchorUnits;
  r.anchorUnits = units(at, permille) - played;
}

std::uint32_t renderPosition(const MidiDevice& device) {
  const RenderState& r = *device.render;
  const std::int64_t played = units(songFrame(device), load(device.tempo)) - r.anchorUnits;
  const std::uint64_t ms =
      r.anchorMs + (played <= 0 ? 0 : static_cast<std::uint64_t>(played) / r.rate);
  const std::uint32_t clock = load(device.clockMs);
  return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : ms < clock ? clock : static_cast<std::uint32_t>(ms);
}

std::uint32_t renderUnplayedMs(const MidiDevice& device) {
  const RenderState& r = *device.render;
  // Time t is at frame f or later when anchorUnits + (t - anchorMs) * rate >= f * tempo.
  const std::int64_t ahead = units(songFrame(device), load(device.tempo)) - r.anchorUnits;
  const std::uint64_t ms =
      r.anchorMs + (ahead <= 0 ? 0 : (static_cast<std::uint64_t>(ahead) + r.rate - 1) / r.rate);
  return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(ms);
}

std::uint64_t renderFrameOf(const MidiDevice& device, std::uint32_t ms) {
  const RenderState& r = *device.render;
  const std::int64_t at = r.anchorUnits + (std::int64_t{ms} - r.anchorMs) * r.rate;
  return at <= 0 ? 0 : static_cast<std::uint64_t>(at) / load(device.tempo);
}

void anchorAfterJump(MidiDevice& device, std::uint32_t jumpedAtMs, bool passTakesTime) {
  RenderState& r = *device.render;
  r.anchorUnits += (std::int64_t{jumpedAtMs} - r.anchorMs) * r.rate;
  // A pass that took no song time still takes a ms of it, as at a tick of 1 ms: a song of nothing
  // but time-0 events on repeat plays once a ms instead of forever in one frame.
  if (passTakesTime && jumpedAtMs == r.anchorMs) r.anchorUnits += r.rate;
  r.anchorMs = load(device.clockMs);
}

}  // namespace quavr
