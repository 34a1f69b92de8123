#include "song/rmid.h"

#include <cstring>

#include "song/little_endian.h"

namespace quavr {

namespace {

constexpr std::uint32_t kChunkHeader = 8;

// Calls fn(id, body range) for each chunk in [begin, end) until fn returns false. A chunk whose
// size runs past `end` is given clipped to it and ends the walk: files are often cut short, and
// their sizes lie.
template <class Fn>
void walkChunks(const std::uint8_t* image, std::uint32_t begin, std::uint32_t end, Fn&& fn) {
  std::uint64_t at = begin;
  while (at + kChunkHeader <= end) {
    const std::uint8_t* id = image + at;
    const std::uint64_t body = at + kChunkHeader;
    const std::uint64_t size = littleEndian(image + at + 4, 4);
    const bool clipped = body + size > end;
    const ImageRange range{static_cast<std::uint32_t>(body),
                           static_cast<std::uint32_t>(clipped ? end - body : size)};
    if (!fn(id, range) || clipped) return;
    at = body + size + (size & 1);
  }
}

// The INAM text of a LIST chunk of type INFO; size 0 when it has none.
ImageRange titleOf(const std::uint8_t* image, ImageRange list) {
  ImageRange title{0, 0};
  if (list.size < 4 || std::memcmp(image + list.offset, "INFO", 4) != 0) return title;
  walkChunks(image, list.offset + 4, list.offset + list.size,
             [&](const std::uint8_t* id, ImageRange body) {
               if (std::memcmp(id, "INAM", 4) != 0) return true;
               title = body;
               return false;
             });
  while (title.size != 0 && image[title.offset + title.size - 1] == 0) --title.size;
  return title;
}

}  // namespace

RmidParts unwrapRmid(const std::uint8_t* image, std::uint32_t size) {
  RmidParts parts{{0, size}, {0, 0}};
  if (size < 12 || std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "RMID", 4) != 0) {
    return parts;
  }
  // The form's own size is not trusted: the chunks are walked to the end of the image.
  bool haveData = false;
  walkChunks(image, 12, size, [&](const std::uint8_t* id, ImageRange body) {
    if (!haveData && std::memcmp(id, "data", 4) == 0) {
      parts.midi = body;
      haveData = true;
    } else if (parts.title.size == 0 && std::memcmp(id, "LIST", 4) == 0) {
      parts.title = titleOf(image, body);
    }
    return true;
  });
  // An RMID form without a data chunk holds no MIDI file.
  if (!haveData) parts.midi = {size, 0};
  return parts;
}

}  // namespace quavr
