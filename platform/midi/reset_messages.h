// What a port reset sends to silence a synthesizer: all notes off and sustain off on every
// channel, as a reset does on the original platform.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quavr::platform::posix {

inline const std::vector<std::array<std::uint8_t, 3>>& resetMessages() {
  static const auto* messages = [] {
    auto* list = new std::vector<std::array<std::uint8_t, 3>>;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
      list->push_back({static_cast<std::uint8_t>(0xB0 | channel), 0x40, 0x00});  // sustain off
      list->push_back({static_cast<std::uint8_t>(0xB0 | channel), 0x7B, 0x00});  // all notes off
    }
    return list;
  }();
  return *messages;
}

}  // namespace quavr::platform::posix
