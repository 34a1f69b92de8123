// Songs: loading a Standard MIDI File from a file or a module resource, its length, deleting it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quavr {

// The whole file or resource, byte for byte, in a temporary block.
struct Image {
  platform::HGLOBAL block;
  std::uint32_t size;
};

Image readSongFile(const char* path);
Image readSongResource(platform::HMODULE module, const char* name);

// Builds a song from the image and frees the image. 0 when there is no image or a block could
// not be made; then nothing the load made is left.
platform::HGLOBAL loadSong(Image image);

// The structure pass: header, track table, and the sizing pass over every track chunk. False
// only when a block could not be made.
bool readSongStructure(platform::HGLOBAL song, Image image);

// 0 when the song and all its blocks were freed, else the song handle. A song that names no
// loaded song, or that is bound to a device, is refused and returned as it is.
platform::HGLOBAL deleteSong(platform::HGLOBAL song);
std::uint32_t songLength(platform::HGLOBAL song);

}  // namespace quavr
