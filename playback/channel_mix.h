// What the device does to the song's messages on their way out: CC7 scaled by the device's
// volume, notes of muted channels held back, and the fade that moves the volume tick by tick.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "playback/device.h"
#include "song/records.h"

namespace quavr {

// Sends one of the song's events through the mix: a CC7 goes out scaled (and is remembered as
// the song's), a note of a muted channel does not go out. Keeps the sounding notes.
platform::MMRESULT sendMixed(LockedDevice& device, const Event& event, const std::uint8_t* data);
// A controller the device itself sends (a loop restore, a chase): CC7 through the volume.
platform::MMRESULT sendController(MidiDevice& device, std::uint32_t channel,
                                  std::uint32_t controller, std::uint32_t value);

// Sets the volume; while a song is bound, each channel's CC7 goes out again, scaled.
void applyVolume(MidiDevice& device, std::uint32_t percent);
// Mutes the channels of `mask`; a newly muted channel gets note-offs for its sounding notes.
void applyChannelMask(MidiDevice& device, std::uint32_t mask);
// Note-offs for every sounding note of the channels in `mask`, which then sound no more.
void endNotes(MidiDevice& device, std::uint32_t mask);

// A step of the fade over `playedMs` of playing (a fade waiting for its song time begins first
// when the next round reaches it); at its end, what it was asked to do then. Under the lock.
void stepFade(LockedDevice& device, std::uint32_t playedMs);
// The song time at which a fade waiting for one begins, once no pass of the loop is left;
// kNoFadeDue while none waits or passes are left.
inline constexpr std::uint64_t kNoFadeDue = ~std::uint64_t{0};
std::uint64_t fadeDueMs(const MidiDevice& device);
// The fade ends with its song, unfinished: no event, no `then`; the volume goes back to where it
// stood before the fade.
void endFade(MidiDevice& device);
// The fade ends where it stands (the host set a volume of its own).
void cancelFade(MidiDevice& device);
// A fade from the volume as it stands, in place of any other: stepping from the next step, or
// waiting until the song reaches `atMs` in its last pass.
void beginFade(MidiDevice& device, std::uint32_t percent, std::uint32_t ms, std::uint32_t then,
               std::optional<std::uint32_t> atMs = std::nullopt);

}  // namespace quavr
