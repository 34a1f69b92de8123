// What a host may ask about a loaded song: its numbers (bgmGetSongInfo) and its texts
// (bgmGetSongText).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quavr {

// 0xFFFFFFFF for a handle that names no loaded song, an unknown `what` or an index out of range.
std::uint32_t songInfo(platform::HGLOBAL song, std::uint32_t what, std::uint32_t index);

// The text's full length, with as much of it as fits written to `buffer` and NUL-terminated when
// `size` > 0; -1 when there is no such text or no such song.
std::int32_t songText(platform::HGLOBAL song, std::uint32_t kind, std::uint32_t index, char* buffer,
                      std::uint32_t size);

}  // namespace quavr
