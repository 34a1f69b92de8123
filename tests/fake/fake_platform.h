// A scriptable platform for the core's tests: a recording MIDI port, timers fired by hand,
// long-message completions delivered on request, in-memory files and resources, and an
// injectable result for every operation. Nothing happens on its own: the test drives it all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quavr::fake {

using platform::HMIDIOUT;
using platform::MIDIHDR;
using platform::UINT;

enum class Op {
  MidiOutOpen,
  MidiOutClose,
  MidiOutReset,
  MidiOutShortMsg,
  MidiOutPrepareHeader,
  MidiOutLongMsg,
  MidiOutUnprepareHeader,
  TimeGetDevCaps,
  TimeBeginPeriod,
  TimeEndPeriod,
  TimeSetEvent,
  TimeKillEvent,
  ReadFile,
};

struct Record {
  enum Kind { Short, Long, Reset } kind;
  std::uint32_t timeMs;
  HMIDIOUT port;
  std::uint32_t message;            // Short
  std::vector<std::uint8_t> bytes;  // Long
};

struct OpenCall {
  UINT deviceId;
  std::uintptr_t callback;
  std::uintptr_t instance;
  std::uint32_t flags;
};

// Forgets every port, timer, record, file and injection; the next test starts clean.
void reset();

// ---- Memory
std::size_t liveBlocks();
// The n-th allocation from now fails (1: the next one).
void failAllocation(int n);
int allocationCount();
// The size of the largest block asked for since the last reset.
std::size_t largestAllocation();
// Called after each block is made, on the caller's thread.
void onAllocation(std::function<void()> hook);

// ---- Injected results: the next `times` calls of `op` return `result` and do nothing else
// (timeSetEvent returns `result` as its timer id).
void inject(Op op, std::uint32_t result, int times = 1);
// Only the n-th call of `op` from now (1: the next) returns `result`.
void injectAt(Op op, int nth, std::uint32_t result);
int callCount(Op op);

// ---- MIDI output
void setDeviceCount(UINT count);
const std::vector<Record>& records();
std::vector<std::uint32_t> shortMessages();
std::vector<std::vector<std::uint8_t>> longMessages();
void clearRecords();
const std::vector<OpenCall>& openCalls();
std::vector<MIDIHDR*> queuedHeaders();
// Reports one queued long message done (MOM_DONE through the port's callback).
void completeLongMessage(MIDIHDR* header);
void completeAllLongMessages();
// Sends a message number of the test's choice through every open port's callback.
void notifyPorts(UINT message);
bool portOpen(HMIDIOUT port);
int openPortCount();
// With recording off the port keeps nothing: a null port, for benchmarks.
void setRecording(bool on);
// Called after each recorded short message, on the caller's thread (for re-entrant tests).
void onShortMessage(std::function<void()> hook);

// ---- Time and timers
std::uint32_t nowMs();
void setNowMs(std::uint32_t ms);
struct TimerInfo {
  UINT id;
  UINT delayMs;
  UINT resolutionMs;
  std::uintptr_t user;
  UINT flags;
};
std::vector<TimerInfo> liveTimers();
bool timerAlive(UINT id);
// Runs the timer's callback now, on the caller's thread; the fake clock moves to the tick's due
// time first. May be called from inside a callback. False when the timer is gone.
bool fireTimer(UINT id);
// Fires the only live timer; false when there is none.
bool fireOnlyTimer();
// The periods begun and not yet ended, each once per begin.
std::vector<UINT> activePeriods();
void setTimerCaps(UINT minMs, UINT maxMs);

// ---- Render synthesizers: deterministic stand-ins for a real one. Each sample depends on the
// notes sounding and on the synthesizer's own frame count, so a message that arrives a frame
// early or late changes the audio. Left: the sounding velocities / 64 times 1 + (frame % 7) / 8;
// right: minus half of it. renderOpen accepts null and files added with addFile that begin
// "RIFF....sfbk"; anything else fails as a real platform does, with a reason.
struct RenderRecord {
  std::uint64_t frame;  // frames the synthesizer had written when the message came
  std::vector<std::uint8_t> bytes;
};
// What each open synthesizer received (kept while recording is on), and its frames written.
std::vector<RenderRecord> renderLog(platform::HRENDER synth);
std::uint64_t renderFrames(platform::HRENDER synth);
int openRenderCount();
// The only open synthesizer (0 for none or several).
platform::HRENDER onlyRender();

// ---- Files and resources
void addFile(const std::string& path, std::vector<std::uint8_t> bytes,
             std::uint32_t type = platform::FILE_TYPE_DISK);
void addResource(platform::HMODULE module, const std::string& name,
                 std::vector<std::uint8_t> bytes);
void addResource(platform::HMODULE module, std::uint16_t id, std::vector<std::uint8_t> bytes);
int openFileCount();

}  // namespace quavr::fake
