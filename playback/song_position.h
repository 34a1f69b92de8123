// Where a bound song goes on: its tracks' positions at a time, and the host's seek.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "playback/device.h"
#include "song/records.h"

namespace quavr {

// Every track goes on at its first event at or after `ms`; a track with none there has ended.
// True when every track has.
bool positionTracks(Song& song, std::uint32_t ms);

// Silences the port (the reset a pause or stop sends: pedals and notes off on every channel);
// nothing sounds after it.
platform::MMRESULT silencePort(MidiDevice& device);

// The song of a Ready, Playing or Paused device goes on at `ms`: the port is silenced, then
// given the song's state there (system-exclusive messages, then each channel's), and the next
// tick plays what is due at `ms`. Past the song's end is its end, where the song ends at the
// next tick; past the loop end the song plays on to its end without jumping back. 0; -1
// for a handle that names no open device, a device with no song bound, or a chase whose block
// could not be had (nothing then moved).
std::int32_t seek(platform::HGLOBAL device, std::uint32_t ms);

}  // namespace quavr
