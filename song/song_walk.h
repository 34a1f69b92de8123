// A song's events for hosts (bgmGetSongEvents): all tracks merged in the order a device sends
// them, by song time and, at one time, track by track. The order's block is made at a song's first
// walk, outside the registry's lock, and kept with the song, holding its tracks' blocks resolved
// until its tracks are freed; each walk merges the order on as far as it reads, under the block's
// own lock.
#pragma once

#include <cstdint>

#include "include/quavr.h"
#include "platform/platform.h"
#include "song/records.h"

namespace quavr {

// Copies up to `count` events from event `first` on: how many; -1 for a bad handle or no memory
// for the order.
std::int32_t songEvents(platform::HGLOBAL song, std::uint32_t first, QuavrSongEvent* events,
                        std::uint32_t count);

// The bytes of event `index` by snprintf's rules: their full length; -1 for a bad handle or an
// index past the last event.
std::int32_t songEventData(platform::HGLOBAL song, std::uint32_t index, void* buffer,
                           std::uint32_t size);

// The microseconds per quarter note the timing took from event `index`; QUAVR_NONE when it is not
// a set-tempo event.
std::uint32_t songEventTempo(platform::HGLOBAL song, std::uint32_t index);

// Frees the song's order and releases the tracks' blocks it held resolved: under the registry's
// lock with no walk running, before the tracks go. False when the block would not go.
bool freeSongWalk(Song& song);

}  // namespace quavr
