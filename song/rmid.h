// RMID files: a Standard MIDI File wrapped in a RIFF form of type "RMID". The chunks after the
// form type are walked (each an id, a little-endian 32-bit size and the body, padded to an even
// size); the "data" chunk holds the MIDI file, a "LIST" chunk of type "INFO" may hold the title
// in its "INAM" chunk.
#pragma once

#include <cstdint>

namespace quavr {

// A range of bytes of the image.
struct ImageRange {
  std::uint32_t offset;
  std::uint32_t size;
};

struct RmidParts {
  ImageRange midi;   // the whole image when it is not an RMID form
  ImageRange title;  // size 0 when there is none; its trailing NULs left out
};

RmidParts unwrapRmid(const std::uint8_t* image, std::uint32_t size);

}  // namespace quavr
