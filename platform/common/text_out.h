// Handing a platform's text to a caller by snprintf's rules.
#pragma once

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace quavr::platform {

// Writes as much of `text` as fits into `out`, NUL-terminated when `size` > 0; its full length.
inline int textOut(const std::string& text, char* out, UINT size) {
  if (out != nullptr && size > 0) {
    const std::size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return static_cast<int>(text.size() > 0x7FFFFFFF ? 0x7FFFFFFF : text.size());
}

}  // namespace quavr::platform
