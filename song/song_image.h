// A song's bytes, read whole from a file or a module resource into a temporary block.
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

}  // namespace quavr
