// Builds the game music formats byte by byte: Extended MIDI (XMI), MUS, HMP and HMI.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/smf/smf_writer.h"

namespace quavr::test {

// XMI: an IFF chunk, big-endian length, padded to even; and its events.
Bytes iffChunk(const std::string& id, const Bytes& body);
class XmiEvents {
 public:
  // A delay as consecutive bytes below 0x80 that sum to `ticks` (none for 0).
  XmiEvents& delay(std::uint32_t ticks);
  XmiEvents& note(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity,
                  std::uint32_t duration);
  XmiEvents& raw(const Bytes& bytes);
  XmiEvents& control(std::uint8_t channel, std::uint8_t controller, std::uint8_t value) {
    return raw({static_cast<std::uint8_t>(0xB0 | channel), controller, value});
  }
  XmiEvents& end() { return raw({0xFF, 0x2F, 0x00}); }
  operator Bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};
// One song's "FORM XMID": TIMB and RBRN chunks ahead of EVNT when given.
Bytes xmiSong(const Bytes& events, const Bytes& timb = {}, const Bytes& rbrn = {});
// A bare song: the form alone.
Bytes xmiFile(const Bytes& events);
// "FORM XDIR" with the count, then "CAT XMID" with each song's form.
Bytes xmiCollection(const std::vector<Bytes>& songForms);

// MUS: the header (instrument list of `instruments`) and the score.
Bytes mus(const Bytes& score, const std::vector<std::uint16_t>& instruments = {});
class MusScore {
 public:
  // An event: the descriptor's type and channel, its data; `delay` > 0 sets bit 7 and follows it.
  MusScore& event(std::uint8_t type, std::uint8_t channel, const Bytes& data,
                  std::uint32_t delay = 0);
  MusScore& end() { return event(6, 0, {}); }
  operator Bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// HMP: a reversed variable-length quantity (least significant group first, bit 7 on the last).
Bytes reversedVlq(std::uint32_t value);
// Version 1 ("HMIMIDIP") or 2 ("HMIMIDIP013195"); each track body is events after reversed delays.
Bytes hmp(int version, std::uint32_t ticksPerSecond, const std::vector<Bytes>& trackBodies,
          std::uint32_t ticksPerQuarter = 60);

// HMI: "HMI-MIDISONG061595", ticks per second at 0xD4, a track directory, each track a header
// and SMF-style events whose note-ons carry a duration.
Bytes hmi(std::uint16_t ticksPerSecond, const std::vector<Bytes>& trackBodies);

}  // namespace quavr::test
