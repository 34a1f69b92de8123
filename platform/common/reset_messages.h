// What a port reset sends to silence a synthesizer: every pedal off (sustain, sostenuto, soft,
// hold 2) and all notes off on every channel, so no note hangs on a pedal after a pause or stop.
// A constant table: a render device sends it on the audio thread, where nothing may allocate.
#pragma once

#include <array>
#include <cstdint>

namespace quavr::platform {

inline constexpr std::uint32_t kResetMessageCount = 16 * 5;

inline constexpr std::array<std::array<std::uint8_t, 3>, kResetMessageCount> kResetMessages = [] {
  std::array<std::array<std::uint8_t, 3>, kResetMessageCount> list{};
  std::uint32_t n = 0;
  for (std::uint8_t channel = 0; channel < 16; ++channel) {
    for (const std::uint8_t controller : {0x40, 0x42, 0x43, 0x45, 0x7B}) {  // pedals, notes off
      list[n++] = {static_cast<std::uint8_t>(0xB0 | channel), controller, 0x00};
    }
  }
  return list;
}();

inline const auto& resetMessages() {
  return kResetMessages;
}

}  // namespace quavr::platform
