// A song's bytes, read whole from a file, a module resource or the host's memory into a
// temporary block.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quavr {

// The whole file or resource, byte for byte; block 0 when it could not be read or is empty.
struct Image {
  platform::HGLOBAL block;
  std::uint32_t size;
};

Image readSongFile(const char* path);
Image readSongResource(platform::HMODULE module, const char* name);
// A copy of `size` bytes the host owns; no image for null data or no bytes.
Image readSongMemory(const void* data, std::uint32_t size);

}  // namespace quavr
