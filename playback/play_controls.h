// The host's controls of a device's playback beyond the transport: position, loop count,
// tempo, volume and fades, muted channels, and what it reports.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quavr {

// Each locks the device; -1, or kNoPosition for the unsigned ones, when the handle names none.
inline constexpr std::uint32_t kNoPosition = 0xFFFFFFFF;
std::uint32_t position(platform::HGLOBAL device);
std::int32_t setLoopCount(platform::HGLOBAL device, std::int32_t count);
std::int32_t setTempo(platform::HGLOBAL device, std::uint32_t permille);
std::int32_t setVolume(platform::HGLOBAL device, std::uint32_t percent);
std::int32_t fade(platform::HGLOBAL device, std::uint32_t percent, std::uint32_t ms,
                  std::uint32_t then);
// The same fade, begun once the song clock reaches `atMs` in the last pass.
std::int32_t fadeAt(platform::HGLOBAL device, std::uint32_t atMs, std::uint32_t percent,
                    std::uint32_t ms, std::uint32_t then);
std::int32_t setChannelMask(platform::HGLOBAL device, std::uint32_t muted);
std::uint32_t playInfo(platform::HGLOBAL device, std::uint32_t what);
std::uint32_t version();

}  // namespace quavr
