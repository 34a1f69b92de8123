// The names the tools give the loop styles, on their command lines and in what they print.
#pragma once

#include <cstdint>
#include <string>

#include "include/quavr.h"

namespace quavr::tools {

struct LoopStyleName {
  const char* name;
  std::uint32_t style;
};
inline constexpr LoopStyleName kLoopStyleNames[] = {
    {"markers", QUAVR_LOOP_MARKERS}, {"xmi", QUAVR_LOOP_XMI},         {"emidi", QUAVR_LOOP_EMIDI},
    {"cc116", QUAVR_LOOP_CC116_117}, {"cc110", QUAVR_LOOP_CC110_111}, {"touhou", QUAVR_LOOP_TOUHOU},
    {"cc111", QUAVR_LOOP_CC111}};

// The style of a name (cc116_117 and cc110_111 too), or 0 for none.
inline std::uint32_t loopStyleOf(const std::string& name) {
  if (name == "cc116_117") return QUAVR_LOOP_CC116_117;
  if (name == "cc110_111") return QUAVR_LOOP_CC110_111;
  for (const LoopStyleName& n : kLoopStyleNames) {
    if (name == n.name) return n.style;
  }
  return 0;
}

inline const char* loopStyleName(std::uint32_t style) {
  for (const LoopStyleName& n : kLoopStyleNames) {
    if (style == n.style) return n.name;
  }
  return "explicit";
}

}  // namespace quavr::tools
