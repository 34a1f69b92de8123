// The device family: the MidiDevice record behind a device handle, its lock, open, close, reset.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/block.h"
#include "platform/platform.h"
#include "song/records.h"

namespace quavr {

struct RenderState;

struct MidiDevice {
  platform::HMIDIOUT midiOut;
  std::int32_t state;      // written by the transport alone
  std::int32_t repeat;     // the legacy flag as the host set it
  std::int32_t loopCount;  // passes of the loop still to play: -1 forever, 0 none
  std::uint32_t loopsDone;
  std::uint32_t periodMs;
  std::uint32_t timerId;
  platform::HGLOBAL songHandle;
  Song* song;
  std::uint32_t clockMs;
  // Per channel, the keys whose note-on went out and whose note-off has not: what a loop jump
  // ends. A bit per key, 64 to a word.
  std::uint64_t soundingNotes[16][2];
  std::uint32_t loopJumpDue;    // the clock reached the loop end in this tick: no replay, a jump
  std::uint32_t tempo;          // permille of the written speed
  std::uint32_t clockCarry;     // thousandths of a ms the clock owes from earlier advances
  std::uint32_t volume;         // percent, what CC7 values go out scaled by
  std::uint32_t hostVolume;     // a new song's volume: bgmSetVolume's, or a fade's that played on
  std::uint8_t songVolume[16];  // each channel's CC7 as the song set it (100 before it does)
  std::uint32_t mutedChannels;  // a bit per channel whose notes are not sent
  std::uint32_t events;         // QUAVR_EVENT_ flags since the host last read them
  std::uint32_t lastMarker;     // index of the last marker played; QUAVR_NONE before any
  // The bound song's loops as the clock last copied them, the version of the song's table they
  // came from, and the passes each has left (kPassesUnset until play enters it). Loops whose end
  // is after armedAfterMs may jump; play has gone past the others.
  struct Loop {
    std::uint32_t startMs, endMs;
    std::int32_t repeats, passesLeft;
    std::uint32_t style;
  } loops[kMaxLoops];
  std::uint32_t loopsKnown;  // kNoLoop: to be copied
  std::uint32_t loopVersion;
  std::uint32_t armedAfterMs;
  // Notes an XMI jump left sounding (a bit per key, as soundingNotes) and the clock time each
  // ends at (kNoLoop: when something else ends it).
  std::uint64_t heldNotes[16][2];
  std::uint32_t heldUntilMs[16][128];
  struct Fade {
    std::uint32_t active;   // stepping, a step each tick
    std::uint32_t waiting;  // to begin once the song clock reaches atMs in the last pass
    std::uint32_t atMs;
    std::uint32_t from, to;  // percent
    std::uint32_t ms, elapsedMs;
    std::uint32_t then;  // QUAVR_FADE_
  } fade;
  // Music that follows the game.
  std::uint32_t usedChannels;  // a bit per channel the bound song has sent to: a tail's pedals
  std::uint32_t unplayedMs;    // the first song time the sequencer has not played yet
  std::uint32_t moves;         // counts the jumps of the song position (loops, seeks, actions)
  std::uint32_t transitions;   // counts the songs and jumps queued actions began
  // The next beat and bar line to report as played (musical_clock.h); kNoLoop: none.
  std::uint32_t nextBeatMs, nextBarMs;
  // The actions a host queued for a boundary (queued_actions.h): one transport action (a song,
  // a jump or a stop), one fade, and a volume change per channel. Each keeps its rule (`when`)
  // and the boundary found from the position it was last looked for at (kNoLoop: none this
  // pass); dueMs is the earliest of them all.
  struct Queued {
    std::uint32_t kind;  // 0: nothing queued
    std::uint32_t when;
    std::uint32_t dueMs;
    std::uint32_t targetMs;  // a song's entry or a jump's target; QUAVR_NONE: the same bar, beat
    std::uint32_t flags;     // a song's or jump's QUAVR_TAIL_ and QUAVR_FADE_IN
    std::uint32_t percent, ms, then;
  } transport, queuedFade, queuedLayers[16];
  std::uint32_t dueMs;
  // A queued song, reserved (resolved) until it plays or is dropped; 0 when none.
  platform::HGLOBAL queuedSongHandle;
  Song* queuedSong;
  // The room a queued transition's chase is walked in (song_transition.h): made by the host
  // call, so the sequencer never allocates.
  platform::HGLOBAL chaseBlock;
  // Each channel's own volume in percent (its layer): its CC7 goes out scaled by it too. A
  // channel's fade moves it a step each tick (a bit in layersFading per moving channel).
  std::uint8_t layerVolume[16];
  struct LayerFade {
    std::uint32_t from, to, ms, elapsedMs;
  } layerFades[16];
  std::uint32_t layersFading;
  // A render device's record (render_device.h), resolved while the device is open; port
  // devices have none.
  platform::HGLOBAL renderBlock;
  RenderState* render;
};

// What a device needs beside its record: the lock every export and every tick takes, so host
// calls and ticks never interleave on one device.
struct DeviceControl {
  std::recursive_mutex lock;
  // The timer a holder of the lock is killing: a tick of that timer waiting for the lock gives
  // up instead of waiting for a lock that is held until the kill has seen the tick finish.
  std::atomic<std::uint32_t> timerBeingKilled{0};
  // Host calls waiting for the lock, and those that got it after waiting: a tick that has sent
  // its share lets a waiting call in, then goes on with the rest in the same tick.
  std::atomic<std::uint32_t> hostsWaiting{0};
  std::atomic<std::uint32_t> hostsLetIn{0};
  // The bound song's tracks were all empty: its pass ends in the next tick. Under the lock.
  bool endedWhenBound = false;
};

// The control of an open device, or null when the handle names none.
std::shared_ptr<DeviceControl> findDevice(platform::HGLOBAL device);

// An open device, locked and resolved for the length of a scope; false when the handle names no
// open device (it was never one, or it was closed while this waited for the lock), and on a
// thread running a render device's message sink, which may not call back.
class LockedDevice {
 public:
  explicit LockedDevice(platform::HGLOBAL device);
  // For a tick of timer `timerId`: gives up instead of waiting for a lock whose holder is
  // killing that very timer (the kill waits for this tick to return).
  LockedDevice(platform::HGLOBAL device, platform::UINT timerId);
  explicit operator bool() const { return static_cast<bool>(record_); }
  // For that tick: lets a waiting host call have the lock, then takes it again. False when the
  // tick is to give up: its timer is being killed, or the device closed meanwhile.
  bool letWaitingCallIn(platform::UINT timerId);
  MidiDevice* operator->() const { return record_.get(); }
  MidiDevice& operator*() const { return *record_; }
  DeviceControl& control() const { return *control_; }
  platform::HGLOBAL handle() const { return handle_; }

 private:
  void resolveIfStillOpen();
  bool lockForTick(platform::UINT timerId);

  platform::HGLOBAL handle_;
  std::shared_ptr<DeviceControl> control_;
  std::unique_lock<std::recursive_mutex> guard_;
  Resolved<MidiDevice> record_;
};

// Runs fn(device) with the device locked and resolved; `failure` when the handle names no open
// device. Every device call of the API goes through here.
template <class Result, class Fn>
Result withDevice(platform::HGLOBAL handle, Result failure, Fn&& fn) {
  LockedDevice device(handle);
  return device ? static_cast<Result>(fn(device)) : failure;
}

// While alive, the thread is inside a message sink: every device call on it fails.
bool insideSink();
class InSink {
 public:
  InSink();
  ~InSink();
  InSink(const InSink&) = delete;
  InSink& operator=(const InSink&) = delete;
};

// A new device's record, zero-filled, as a host first sees it: no song, volume 100, tempo 1000.
void setUpRecord(MidiDevice& device, std::uint32_t periodMs);
// Adds a device whose record is ready to the open devices.
void addOpenDevice(platform::HGLOBAL device);

platform::HGLOBAL openMidiDev(std::uint32_t deviceId, std::uint32_t periodMs);
platform::MMRESULT closeMidiDev(platform::HGLOBAL device);
platform::MMRESULT resetMidiDev(MidiDevice& device);

}  // namespace quavr
