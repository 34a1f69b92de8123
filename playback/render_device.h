// The render device: a device with no timer and no port, whose host pulls its audio. The same
// transport and sequencer as a port device's drive it; here are its record, its song clock in
// frames, where its messages go, and the render call that moves it on.
#pragma once

#include <cstdint>

#include "include/quavr.h"
#include "platform/platform.h"
#include "playback/device.h"

namespace quavr {

// Frames the render call synthesizes at a time into its own buffer before writing them out.
inline constexpr std::uint32_t kRenderChunk = 1024;
// Messages from host calls between two renders, held for the sink until the next render.
inline constexpr std::uint32_t kHeldBytes = 64 * 1024;

struct RenderState {
  std::uint32_t rate;
  platform::HRENDER synth;  // 0: messages only
  QuavrMessageSink sink;
  void* sinkUser;
  std::uint32_t rendering;  // inside bgmRender: messages reach the sink at once
  std::uint64_t frame;      // frames rendered since the device opened
  std::uint64_t callStart;  // the frame the running render began at: the sink's frame 0
  // The song clock: song time anchorMs is at frame anchorUnits / tempo (a rational, so that
  // anchors set at loop jumps and tempo changes carry no rounding).
  std::int64_t anchorUnits;
  std::uint32_t anchorMs;
  std::uint64_t pausedAt;   // the frame the song stopped moving at, while Paused
  std::uint64_t fadeStart;  // the running fade's step n falls n ms of frames after this
  // The channels' fades step once a ms of frames from the frame the first of them began at.
  std::uint64_t layerFadeStart;
  std::uint64_t layerSteps;
  std::uint32_t heldLength;  // bytes in `held`: [length lo, length hi, bytes...] each
  std::uint8_t held[kHeldBytes];
  float scratch[2 * kRenderChunk];
};

inline bool isRenderDevice(const MidiDevice& device) {
  return device.render != nullptr;
}

// ---- The song clock in frames. Under the device's lock.
// The song starts (or goes on) at `ms` from the next frame: a play, a seek.
void anchorRenderClock(MidiDevice& device, std::uint32_t ms);
// The transport halted (pause, stop) or started again (resume, play).
void renderHalted(MidiDevice& device);
void renderResumed(MidiDevice& device);
// A fade begins: its first step at the next frame the song plays.
void renderFadeBegins(MidiDevice& device);
// The frame of the running fade's next step: a step each ms of played frames from its first.
std::uint64_t renderFadeStepFrame(const MidiDevice& device);
// Channel fades begin, none running: their steps fall a ms of played frames apart from here.
void renderLayerFadesBegin(MidiDevice& device);
// The frame of the channel fades' next step.
std::uint64_t renderLayerStepFrame(const MidiDevice& device);
// The tempo becomes `permille` at the next frame, the song time there unchanged.
void retimeRenderClock(MidiDevice& device, std::uint32_t permille);
// The song time at the next frame.
std::uint32_t renderPosition(const MidiDevice& device);
// The first song time whose frame is the next frame or later: what is still to be played.
std::uint32_t renderUnplayedMs(const MidiDevice& device);
// The frame song time `ms` is at.
std::uint64_t renderFrameOf(const MidiDevice& device, std::uint32_t ms);
// The sequencer jumped (a loop pass, a repeat, a queued song or jump) when it played up to
// `jumpedAtMs`: the clock's new time is at that time's frame. A pass that took no song time
// takes a ms (`passTakesTime`), so a song of time-0 events on repeat cannot loop in one frame.
void anchorAfterJump(MidiDevice& device, std::uint32_t jumpedAtMs, bool passTakesTime = true);

// ---- Output. Each message goes to the synthesizer and to the sink.
platform::MMRESULT renderMessage(MidiDevice& device, const std::uint8_t* bytes,
                                 std::uint32_t length, bool isLong);

// ---- The exports' entries.
platform::HGLOBAL openRenderDev(std::uint32_t sampleRate, const char* soundfont);
// Closes the synthesizer and frees the render record (the device is closing).
platform::MMRESULT closeRenderOutput(MidiDevice& device);
std::int32_t render(platform::HGLOBAL device, void* out, std::uint32_t frames,
                    std::uint32_t format);
std::int32_t setMessageSink(platform::HGLOBAL device, QuavrMessageSink sink, void* user);

}  // namespace quavr
