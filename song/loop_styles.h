// The loop conventions' rules: which enabled style reads a controller when two could, what a
// mark means under each style, and the loops a style finds among the song's marks.
#pragma once

#include <cstdint>
#include <vector>

#include "song/loop_marks.h"
#include "song/records.h"

namespace quavr {

// The styles in the order that settles clashes, first first.
inline constexpr int kLoopStyleCount = 7;
extern const std::uint32_t kLoopStyleOrder[kLoopStyleCount];
// Every style bit bgmSetLoopStyle knows.
std::uint32_t knownLoopStyles();

// The enabled style that reads controller `n`: the first in the order among those that read
// it; 0 when none does.
std::uint32_t controllerOwner(std::uint32_t n, std::uint32_t styles);

// Styles whose loops nest and count (markers, XMI, EMIDI); the others mark one song loop.
bool styleNests(std::uint32_t style);

// A loop a style (or the host) sets.
struct FoundLoop {
  LoopPoints points;
  std::int32_t repeats;     // passes after the first: -1 forever
  std::uint32_t fileCount;  // as the file writes it, 0 forever
  std::uint32_t style;      // its QUAVR_LOOP_ bit; 0 for the host's
};

// Adds the loops `style` marks, reading only the controllers it owns under `styles`.
void findStyleLoops(std::uint32_t style, std::uint32_t styles, const LoopMark* marks,
                    std::uint32_t count, std::uint32_t songEnd, std::vector<FoundLoop>& out);

// A track's kTrack flags under `styles`, from the marks at its start (EMIDI's designation:
// controller 110 includes the track for a synthesizer, 111 excludes it; 0 is General MIDI,
// 127 every synthesizer).
std::uint32_t trackFlags(std::uint32_t track, std::uint32_t styles, const LoopMark* marks,
                         std::uint32_t count);

// An EMIDI track's CC112 as a program change, CC113 as CC7, into `out`; false for any other
// message.
inline bool emidiMessage(const std::uint8_t* in, std::uint8_t (&out)[4]) {
  if ((in[0] & 0xF0) != 0xB0 || (in[1] != 112 && in[1] != 113)) return false;
  const bool program = in[1] == 112;
  out[0] = static_cast<std::uint8_t>((program ? 0xC0 : 0xB0) | (in[0] & 0x0F));
  out[1] = program ? in[2] : 7;
  out[2] = program ? 0 : in[2];
  out[3] = 0;
  return true;
}

}  // namespace quavr
