// The length of a MIDI message by its status byte, as it goes on the wire: the one rule that the
// song reader, the ports and the synthesizer's stream parser all follow.
#pragma once

#include <array>
#include <cstdint>

namespace quavr::platform {

namespace detail {
constexpr std::array<std::uint8_t, 256> kMessageLengths = [] {
  std::array<std::uint8_t, 256> lengths{};  // data bytes 0x00-0x7F start no message: 0
  for (int s = 0x80; s < 0x100; ++s) {
    const int kind = s & 0xF0;
    if (kind == 0xC0 || kind == 0xD0) {
      lengths[s] = 2;  // program change, channel pressure
    } else if (kind != 0xF0) {
      lengths[s] = 3;  // note off/on, key pressure, control change, pitch bend
    } else {
      lengths[s] = s == 0xF2 ? 3 : (s == 0xF1 || s == 0xF3) ? 2 : 1;  // system messages
    }
  }
  return lengths;
}();
}  // namespace detail

// Bytes of the message that `status` begins, status included: 3, 2 or 1; 0 for a data byte.
// System exclusive (0xF0) has no fixed length; its status byte alone counts 1.
constexpr std::uint32_t midiMessageLength(std::uint8_t status) {
  return detail::kMessageLengths[status];
}

}  // namespace quavr::platform
