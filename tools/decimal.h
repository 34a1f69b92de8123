// Numbers on the tools' command lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quavr::tools {

// A number written in decimal digits only, that fits 32 bits; nothing otherwise (never wrapped).
std::optional<std::uint32_t> parseDecimal(const std::string& text);

}  // namespace quavr::tools
