// The chunk layout of a Standard MIDI File: the header chunk "MThd" at byte 0 with its 16-bit
// format, track count and division, then "MTrk" chunks back to back from byte 14, each an 8-byte
// header (id, 32-bit length) and its events. Numbers in the file are big-endian. The image is
// only read, never rewritten: an event that runs over the next chunk's header must copy the
// file's bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace quavr {

inline constexpr std::uint32_t kHeaderChunkSize = 14;
inline constexpr std::uint32_t kChunkHeaderSize = 8;

inline std::uint32_t bigEndian(const std::uint8_t* at, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | at[i];
  return value;
}

struct SmfHeader {
  std::uint32_t format;
  std::uint32_t trackCount;
  std::uint32_t division;
};

// The header chunk of an image of `size` bytes; false when the image does not begin with one.
inline bool readHeaderChunk(const std::uint8_t* image, std::uint64_t size, SmfHeader& header) {
  if (size < kHeaderChunkSize || std::memcmp(image, "MThd", 4) != 0) return false;
  header = {bigEndian(image + 8, 2), bigEndian(image + 10, 2), bigEndian(image + 12, 2)};
  return true;
}

// The length of the track chunk whose header is at `at`, `available` bytes before the image
// ends; false when no "MTrk" header fits there.
inline bool readTrackChunk(const std::uint8_t* at, std::uint64_t available, std::uint32_t& length) {
  if (available < kChunkHeaderSize || std::memcmp(at, "MTrk", 4) != 0) return false;
  length = bigEndian(at + 4, 4);
  return true;
}

}  // namespace quavr
