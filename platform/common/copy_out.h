// Handing bytes to a caller by snprintf's rules: a song's texts (bgmGetSongText), its events'
// bytes (bgmGetSongEventData), the device texts (bgmGetDeviceText).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace quavr::platform {

// Writes as much of the bytes as fits into `buffer`, NUL-terminated when `size` > 0; their full
// length, or -1 when it is longer than a result holds.
inline std::int32_t copyOut(const void* bytes, std::uint32_t length, void* buffer,
                            std::uint32_t size) {
  if (length > 0x7FFFFFFF) return -1;
  if (buffer != nullptr && size > 0) {
    const std::uint32_t n = length < size ? length : size - 1;
    if (n != 0) std::memcpy(buffer, bytes, n);
    static_cast<char*>(buffer)[n] = '\0';
  }
  return static_cast<std::int32_t>(length);
}

inline std::int32_t copyOut(const std::string& text, void* buffer, std::uint32_t size) {
  if (text.size() > 0x7FFFFFFF) return -1;
  return copyOut(text.data(), static_cast<std::uint32_t>(text.size()), buffer, size);
}

}  // namespace quavr::platform
