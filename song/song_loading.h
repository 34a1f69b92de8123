// Songs: building one from an image, its length, deleting it.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "song/song_image.h"

namespace quavr {

// Builds a song from the image and frees the image. 0 when there is no image or a block could
// not be made; then nothing the load made is left.
platform::HGLOBAL loadSong(Image image);

// 0 when the song and all its blocks were freed, else the song handle. A song that names no
// loaded song, or that is bound to a device, is refused and returned as it is.
platform::HGLOBAL deleteSong(platform::HGLOBAL song);
std::uint32_t songLength(platform::HGLOBAL song);

// Makes song `index` of a file of several the one the handle plays. 0, or -1 for a handle that
// names no loaded song, one bound to a device, or an index out of range.
std::int32_t selectSong(platform::HGLOBAL song, std::uint32_t index);

}  // namespace quavr
