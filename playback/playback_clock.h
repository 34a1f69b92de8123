// The playback clock: the device's periodic timer and the tick that sends what is due.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "playback/device.h"
#include "song/records.h"

namespace quavr {

// The clock saturates here, as event times do: what saturated is due there, and the song ends.
inline constexpr std::uint32_t kLastClockMs = 0xFFFFFFFF;

// Starts the timer: the new timer's id, or 0 when it could not be started. The transport, not
// the clock, moves the device's state.
platform::UINT startClock(LockedDevice& device);
// Kills the timer, ends its period and resets the port: 0, or the kill's failing result.
platform::MMRESULT haltClock(LockedDevice& device);

// The most song time one round moves the clock at the device's tempo.
std::uint32_t longestClockStep(const MidiDevice& device);

// The sequencer both drivers run. What is due at the song clock goes out: the bound song's
// events (at the loop end: what is due up to it, then the jump and what is due after the loop
// start), the song's end, and the queued actions at their boundaries (what is due before one
// first). The timer's tick runs it once a period, then moves the clock a period; a render device
// runs it at each due event's frame, the clock set to that event's time. False when it gave way
// to a host call (a render device never does).
bool sendDue(LockedDevice& device, std::uint32_t& sent);
// The song has played to its end: stop, and with passes of the song left play it again at once.
void endOfSong(LockedDevice& device);

void QUAVR_CALLBACK clockTick(platform::UINT timerId, platform::UINT message,
                              platform::DWORD_PTR user, platform::DWORD_PTR param1,
                              platform::DWORD_PTR param2);

}  // namespace quavr
