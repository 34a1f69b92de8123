#include "playback/playback_clock.h"

#include <utility>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/loop_jump.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"
#include "playback/transport.h"
#include "song/records.h"

namespace quavr {

using namespace platform;

namespace {

// The period clamped into the timer's bounds and begun; 0 when the timer refuses.
UINT beginTimerPeriod(MidiDevice& device) {
  TIMECAPS caps{};
  if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOCANDO) return 0;
  UINT period = load(device.periodMs);
  if (period < caps.wPeriodMin) period = caps.wPeriodMin;
  if (period >= caps.wPeriodMax) period = caps.wPeriodMax;
  store(device.periodMs, period);
  if (timeBeginPeriod(period) == TIMERR_NOCANDO) return 0;
  return period;
}

MMRESULT endTimerPeriod(MidiDevice& device) {
  return timeEndPeriod(load(device.periodMs));
}

// The song has played to its end: stop, and with repeat on play it again at once.
void endOfSong(LockedDevice& device) {
  if (loopJumpDue(*device)) return;  // the loop's end is the song's: the jump replays
  stopDevice(device);
  if (load(device->repeat) != 0) playDevice(device, load(device->songHandle));
}

}  // namespace

UINT startClock(LockedDevice& device) {
  if (beginTimerPeriod(*device) == 0) return 0;
  const UINT period = load(device->periodMs);
  const UINT id = timeSetEvent(period, period, clockTick, device.handle(), TIME_PERIODIC);
  if (id == 0) {
    endTimerPeriod(*device);  // the period begun above would otherwise never end
    return 0;
  }
  store(device->timerId, id);
  return id;
}

MMRESULT haltClock(LockedDevice& device) {
  const UINT timer = load(device->timerId);
  // A tick of this timer waiting for the device lock sees this and leaves, so the kill, which
  // waits for a running tick, cannot wait for us.
  device.control().timerBeingKilled.store(timer);
  const MMRESULT result = timeKillEvent(timer);
  device.control().timerBeingKilled.store(0);
  if (result != TIMERR_NOERROR) return result;
  endTimerPeriod(*device);
  resetMidiDev(*device);
  silenceNotes(*device);
  return result;
}

namespace {

// Sends the track's due events in order; when its last event goes, the track ends, and with the
// last track to end, the song.
void sendDueEvents(LockedDevice& device, Song& song, std::uint32_t index) {
  Track& track = load(song.tracks)[index];
  for (;;) {
    const std::int32_t position = load(track.position);
    if (position == -1) return;
    const Event& event = track.events[position];
    if (event.timeMs > load(device->clockMs)) return;
    const MMRESULT result = sendEvent(load(device->midiOut), event, track.data, device.control());
    setMidiStatus(result);
    noteSent(*device, event, track.data);
    if (static_cast<std::uint32_t>(position) + 1 != track.eventCount) {
      store(track.position, position + 1);
      continue;
    }
    store(track.position, -1);
    store(song.finishedTracks, load(song.finishedTracks) + 1);
    if (load(song.finishedTracks) == load(song.trackCount)) endOfSong(device);
    return;  // an ended track is not looked at again in this tick, even when repeat rewound it
  }
}

// Once stopped without repeat the song is unbound and may be deleted: it is not read again.
void sendAllDueEvents(LockedDevice& device, Song& song) {
  for (std::uint32_t t = 0; load(device->state) != Idle && t < load(song.trackCount); ++t) {
    sendDueEvents(device, song, t);
  }
}

}  // namespace

void QUAVR_CALLBACK clockTick(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  LockedDevice device(static_cast<HGLOBAL>(user), timerId);
  // A tick of a timer that is no longer the device's (killed, replaced) does nothing.
  if (!device || load(device->state) != Playing || load(device->timerId) != timerId) return;
  Song& song = *load(device->song);
  // A song whose tracks were all empty ended when it was bound.
  if (std::exchange(device.control().endedWhenBound, false)) endOfSong(device);
  // At the loop end the tick sends what is due up to it, jumps, and sends what is due after the
  // loop start.
  LoopPass loop;
  beginLoopPass(device, loop);
  sendAllDueEvents(device, song);
  if (finishLoopPass(device, song, loop)) sendAllDueEvents(device, song);
  store(device->clockMs, load(device->clockMs) + load(device->periodMs));
}

}  // namespace quavr
