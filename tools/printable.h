// Texts from a file (titles, track names, markers) and names the tools did not choose, as they
// may go to a terminal: control bytes and bytes that are no UTF-8 are written as \xHH, so a file
// can neither drive the terminal nor forge lines.
#pragma once

#include <string>
#include <string_view>

namespace quavr::tools {

std::string printable(std::string_view text);

}  // namespace quavr::tools
