// Little-endian numbers in a song file's bytes (RIFF, and the game formats' headers).
#pragma once

#include <cstdint>

namespace quavr {

inline std::uint32_t littleEndian(const std::uint8_t* at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

}  // namespace quavr
