// The transport of one device: binding a song, play, stop, pause and resume, repeat, state.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "playback/device.h"

namespace quavr {

// Returned by the transport for a handle that names no open device; no state has this value.
inline constexpr std::int32_t kNoDevice = -1;

// Each takes a device already locked by the caller (an export, or the tick for its own calls).
std::int32_t playDevice(LockedDevice& device, platform::HGLOBAL song);
std::int32_t stopDevice(LockedDevice& device);
std::int32_t pauseDevice(LockedDevice& device);
// Before a device is closed: stops it, and lets go of a song left bound in Ready.
void releaseDevice(LockedDevice& device);

// A song held for a device: its blocks resolved (so it cannot be deleted, nor played on another
// device) and rewound. Null when the handle names no loaded song or the song is held already.
Song* reserveSong(platform::HGLOBAL song);
void releaseReservedSong(platform::HGLOBAL songHandle, Song& song);
// On a bound device, a reserved song takes the bound one's place, which is let go (or the bound
// song begins anew): it has its own passes, markers and channel volumes; the state stays.
void swapSong(LockedDevice& device, platform::HGLOBAL songHandle, Song& song);

// The exports' entries: lock the device, then act; kNoDevice (0 for repeat) on a bad handle.
std::int32_t play(platform::HGLOBAL device, platform::HGLOBAL song);
// bgmPlay without the start: the song bound and Ready, so that a start set up in steps (an entry
// point, a volume) has no tick get ahead of it. startReady then starts it; false when the device
// is no longer Ready (stopped meanwhile) or its clock would not start.
std::int32_t bindForPlay(platform::HGLOBAL device, platform::HGLOBAL song);
bool startReady(LockedDevice& device);
std::int32_t stop(platform::HGLOBAL device);
std::int32_t pause(platform::HGLOBAL device);
std::int32_t setRepeat(platform::HGLOBAL device, std::int32_t repeat);
std::int32_t getRepeat(platform::HGLOBAL device);
std::int32_t deviceState(platform::HGLOBAL device);

}  // namespace quavr
