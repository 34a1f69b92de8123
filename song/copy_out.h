// Handing a song's bytes to a host by snprintf's rules: the texts (bgmGetSongText) and the events'
// bytes (bgmGetSongEventData).
#pragma once

#include <cstdint>
#include <cstring>

namespace quavr {

// Writes as much of the bytes as fits into `buffer`, NUL-terminated when `size` > 0; their full
// length, or -1 when it is longer than a result holds.
inline std::int32_t copyOut(const std::uint8_t* bytes, std::uint32_t length, void* buffer,
                            std::uint32_t size) {
  if (length > 0x7FFFFFFF) return -1;
  if (buffer != nullptr && size > 0) {
    const std::uint32_t n = length < size ? length : size - 1;
    if (n != 0) std::memcpy(buffer, bytes, n);
    static_cast<char*>(buffer)[n] = '\0';
  }
  return static_cast<std::int32_t>(length);
}

}  // namespace quavr
