// What a port reset sends to silence a synthesizer: every pedal off (sustain, sostenuto, soft,
// hold 2) and all notes off on every channel, so no note hangs on a pedal after a pause or stop.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quavr::platform::posix {

inline const std::vector<std::array<std::uint8_t, 3>>& resetMessages() {
  static const auto* messages = [] {
    auto* list = new std::vector<std::array<std::uint8_t, 3>>;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
      for (const std::uint8_t pedal :
           {0x40, 0x42, 0x43, 0x45}) {  // sustain, sostenuto, soft, hold 2
        list->push_back({static_cast<std::uint8_t>(0xB0 | channel), pedal, 0x00});
      }
      list->push_back({static_cast<std::uint8_t>(0xB0 | channel), 0x7B, 0x00});  // all notes off
    }
    return list;
  }();
  return *messages;
}

}  // namespace quavr::platform::posix
