// A render device's message sink that keeps each message with its absolute frame.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "include/quavr.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {

struct SinkEntry {
  std::uint64_t frame;  // from the device's first render
  Bytes bytes;
  friend bool operator==(const SinkEntry&, const SinkEntry&) = default;
};

// The sink's log in absolute frames: the fixture tells it where each render call begins.
struct SinkLog {
  std::uint64_t callStart = 0;
  std::vector<SinkEntry> entries;
};

inline void PrintTo(const SinkEntry& e, std::ostream* out) {
  *out << "frame " << e.frame << ":";
  for (std::uint8_t b : e.bytes) *out << ' ' << std::hex << int{b} << std::dec;
}

inline void QUAVR_CALL logMessage(void* user, std::uint32_t frame, const std::uint8_t* bytes,
                                  std::uint32_t length) {
  auto* log = static_cast<SinkLog*>(user);
  log->entries.push_back({log->callStart + frame, Bytes(bytes, bytes + length)});
}

}  // namespace quavr::test
