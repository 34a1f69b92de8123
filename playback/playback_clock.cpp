#include "playback/playback_clock.h"

#include <utility>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_layers.h"
#include "playback/channel_mix.h"
#include "playback/held_notes.h"
#include "playback/loop_jump.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"
#include "playback/musical_clock.h"
#include "playback/queued_actions.h"
#include "playback/song_position.h"
#include "playback/transport.h"
#include "song/loop_marks.h"
#include "song/loop_styles.h"
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

// The song time a round moves the clock: a period at the device's tempo, the thousandths of a
// ms it cannot move yet carried to the next round, so that no time is lost over many rounds.
std::uint32_t clockStep(MidiDevice& device) {
  const std::uint64_t units =
      std::uint64_t{load(device.periodMs)} * load(device.tempo) + load(device.clockCarry);
  store(device.clockCarry, static_cast<std::uint32_t>(units % 1000));
  return static_cast<std::uint32_t>(units / 1000);
}

}  // namespace

// The song has played to its end: stop, and with passes of the song left play it again at once.
void endOfSong(LockedDevice& device) {
  if (loopJumpDue(*device)) return;  // the loop's end is the song's: the jump replays
  stopDevice(device);
  if (takeSongPass(*device)) {
    playDevice(device, load(device->songHandle));
  } else {
    dropQueue(*device);  // an action waiting for the end took effect before it
    endFade(*device);
    store(device->events, load(device->events) | QUAVR_EVENT_ENDED);
  }
}

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

std::uint32_t longestClockStep(const MidiDevice& device) {
  return static_cast<std::uint32_t>(
      (std::uint64_t{load(device.periodMs)} * load(device.tempo) + 999) / 1000);
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
  silencePort(*device);
  return result;
}

namespace {

// Events a tick sends before it lets a waiting host call in (about a millisecond of sending at a
// few µs a message); the rest goes after the call, in the same tick.
constexpr std::uint32_t kEventsBeforeYield = 256;

// A render device never yields: its output may not depend on when host calls come.
bool mustYield(LockedDevice& device, std::uint32_t sent) {
  return sent >= kEventsBeforeYield && device->render == nullptr &&
         device.control().hostsWaiting.load() != 0;
}

// Sends one event of a track as the loop styles in force play it: nothing from a track meant for
// another synthesizer, EMIDI's program and volume controllers as what they stand for; a marker
// is reported to the host.
void sendTrackEvent(LockedDevice& device, const Song& song, const Track& track, std::uint32_t index,
                    std::uint32_t position) {
  const Event& event = track.events[position];
  const std::uint8_t* bytes = track.data + event.offset;
  if (event.kind == kMetaEvent) {
    if (event.length >= 2 && bytes[1] == kMetaMarker) {
      const std::uint32_t marker = markerIndex(song, index, position);
      if (marker != QUAVR_NONE) {
        store(device->lastMarker, marker);
        store(device->events, load(device->events) | QUAVR_EVENT_MARKER);
      }
    }
  }
  const std::uint32_t flags = playFlags(track);
  if ((flags & kTrackSilent) != 0) return;
  if (anyHeldNotes(*device)) endHeldNoteBefore(*device, event, track.data);
  std::uint8_t emidi[4];
  if ((flags & kTrackEmidi) != 0 && event.kind == kChannelEvent && emidiMessage(bytes, emidi)) {
    const Event translated{event.tick, event.timeMs, kChannelEvent, 0, 4};
    setMidiStatus(sendMixed(device, translated, emidi));
    return;
  }
  setMidiStatus(sendMixed(device, event, track.data));
}

// Sends the track's due events in order; when its last event goes, the track ends, and with the
// last track to end, the song. False when it gave way to a host call with events still due.
bool sendDueEvents(LockedDevice& device, Song& song, std::uint32_t index, std::uint32_t& sent) {
  Track& track = load(song.tracks)[index];
  for (;;) {
    const std::int32_t position = load(track.position);
    if (position == -1) return true;
    const Event& event = track.events[position];
    if (event.timeMs > load(device->clockMs)) return true;
    if (mustYield(device, sent)) return false;
    ++sent;
    sendTrackEvent(device, song, track, index, static_cast<std::uint32_t>(position));
    if (static_cast<std::uint32_t>(position) + 1 != track.eventCount) {
      store(track.position, position + 1);
      continue;
    }
    store(track.position, -1);
    store(song.finishedTracks, load(song.finishedTracks) + 1);
    if (load(song.finishedTracks) == load(song.trackCount)) endOfSong(device);
    return true;  // an ended track is not looked at again in this tick, even when repeat rewound it
  }
}

// What is due at the song clock, track by track. False when it gave way to a host call.
bool sendAllDueEvents(LockedDevice& device, Song& song, std::uint32_t& sent) {
  // Once stopped without repeat the song is unbound and may be deleted: it is not read again.
  for (std::uint32_t t = 0; load(device->state) != Idle && t < load(song.trackCount); ++t) {
    if (!sendDueEvents(device, song, t, sent)) return false;
  }
  return true;
}

}  // namespace

bool sendDue(LockedDevice& device, std::uint32_t& sent) {
  // Each jump leaves the clock inside the loop it jumped in, so only a loop inside that one can
  // end next: the nesting bounds the jumps. A queued action takes a step of its own, and a song
  // it binds may jump as deep again.
  for (std::uint32_t steps = 0; steps <= 2 * kMaxLoopDepth + 4; ++steps) {
    Song& song = *load(device->song);  // a queued action may have bound another
    const std::uint32_t clock = load(device->clockMs);
    // A boundary the round reaches: what comes before it goes out first, the clock short of it.
    const std::uint32_t boundary = load(device->dueMs);
    bool acting = boundary <= clock && boundary != kNoLoop;
    if (acting) store(device->clockMs, boundary == 0 ? 0 : boundary - 1);
    LoopPass loop;
    beginLoopPass(device, loop);
    if (loop.jump && acting) {  // a loop ending before the boundary jumps first
      loop.clockMs = clock;
      acting = false;
    }
    const std::uint32_t moves = load(device->moves);
    if (!acting || boundary != 0) {
      endHeldNotesDue(*device, load(device->clockMs));
      if (!sendAllDueEvents(device, song, sent)) {
        abandonLoopPass(device, loop);  // the next round begins it again
        if (acting) store(device->clockMs, clock);
        return false;
      }
      beatsPlayed(*device, load(device->clockMs));
    }
    if (finishLoopPass(device, song, loop)) {
      positionMoved(*device, loop.restore.loop.startMs);
      continue;
    }
    // The song may have ended, or begun again on repeat, before the boundary.
    if (!acting || load(device->state) != Playing || load(device->moves) != moves) break;
    store(device->clockMs, clock);
    actAtBoundary(device, clock);
    if (load(device->state) != Playing) return true;
  }
  const std::uint32_t clock = load(device->clockMs);
  loopsPassed(*device, clock);
  store(device->unplayedMs, clock == kLastClockMs ? clock : clock + 1);
  return true;
}

namespace {

// One round: what is due at the song clock, then the clock moves a period. False when it gave
// way to a host call: the clock stays for the round to be finished.
bool sendRound(LockedDevice& device, std::uint32_t& sent) {
  if (!sendDue(device, sent)) return false;
  // Saturating, as event times do: a song whose last events saturated still plays them.
  const std::uint64_t next = std::uint64_t{load(device->clockMs)} + clockStep(*device);
  store(device->clockMs, next < kLastClockMs ? next : kLastClockMs);
  return true;
}

// The device still plays on this timer.
bool ticking(const LockedDevice& device, UINT timerId) {
  return device && load(device->state) == Playing && load(device->timerId) == timerId;
}

}  // namespace

void QUAVR_CALLBACK clockTick(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  LockedDevice device(static_cast<HGLOBAL>(user), timerId);
  // A tick of a timer that is no longer the device's (killed, replaced) does nothing.
  if (!ticking(device, timerId)) return;
  stepFade(device, load(device->periodMs));  // may pause or stop
  if (load(device->state) != Playing) return;
  stepLayers(*device, load(device->periodMs));
  // A song whose tracks were all empty ended when it was bound.
  if (std::exchange(device.control().endedWhenBound, false)) endOfSong(device);
  // A round that gave way goes on after the host call, so that every due event goes in its tick
  // whenever host calls come (unless the call moved the song: then from where it went). A repeat
  // in the round may have started the device's next timer: the round is still this tick's.
  std::uint32_t sent = 0;
  while (load(device->state) == Playing && !sendRound(device, sent)) {
    const UINT timer = load(device->timerId);
    if (!device.letWaitingCallIn(timer) || !ticking(device, timer)) return;
    sent = 0;
  }
}

}  // namespace quavr
