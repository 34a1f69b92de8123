// Music that follows the game: actions a host queues for a musical boundary of the song playing
// (now, a beat, a bar, every N of them, a marker, the loop end, the end). Each holds its rule;
// its boundary is found from where the song stands whenever the position jumps, so the
// sequencer's check is one compare of the earliest boundary against its clock.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "playback/device.h"

namespace quavr {

// ---- The exports' entries: 0, or -1 (nothing changed) for a bad handle or argument.
std::int32_t queueSong(platform::HGLOBAL device, platform::HGLOBAL song, std::uint32_t when,
                       std::uint32_t entryMs, std::uint32_t flags);
std::int32_t queueJump(platform::HGLOBAL device, std::uint32_t when, std::uint32_t targetMs,
                       std::uint32_t flags);
std::int32_t queueStop(platform::HGLOBAL device, std::uint32_t when);
std::int32_t queueFade(platform::HGLOBAL device, std::uint32_t when, std::uint32_t percent,
                       std::uint32_t ms, std::uint32_t then);
std::int32_t cancelQueued(platform::HGLOBAL device);
std::int32_t fadeChannels(platform::HGLOBAL device, std::uint32_t when, std::uint32_t mask,
                          std::uint32_t percent, std::uint32_t ms);

// ---- Under the device's lock.
// Every queued boundary found again from song time `fromMs`, where the song now stands; a rule
// for a marker no pass plays again is dropped.
void findBoundaries(MidiDevice& device, std::uint32_t fromMs);
// The sequencer has sent everything before the earliest boundary (dueMs): what is queued there
// takes effect, the transport action first (a stop drops the rest), then the fade with its
// first step, then the channels' volumes. `clockMs` is the round's clock, at or past it.
void actAtBoundary(LockedDevice& device, std::uint32_t clockMs);
// Drops everything queued, with QUAVR_EVENT_DROPPED when there was something.
void dropQueue(MidiDevice& device);
// Before the device closes: drops the queue and frees the chase's room.
void releaseQueue(MidiDevice& device);

}  // namespace quavr
