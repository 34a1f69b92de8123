// The Windows API under the platform layer's names. platform.h comes first: once windows.h is
// in, its macros (GMEM_MOVEABLE, MOM_DONE, …) would rewrite the layer's own declarations.
#pragma once

#include "platform/platform.h"
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstdint>

namespace quavr::platform::win32 {

// The layer's 32-bit handles are the platform's own: pointers 32 bits wide.
static_assert(sizeof(void*) == 4, "QUAVR.DLL is a 32-bit module");
static_assert(sizeof(platform::MIDIHDR) == sizeof(::MIDIHDR));
static_assert(sizeof(platform::TIMECAPS) == sizeof(::TIMECAPS));

template <class WinHandle>
WinHandle native(std::uint32_t handle) {
  return reinterpret_cast<WinHandle>(static_cast<std::uintptr_t>(handle));
}

template <class WinHandle>
std::uint32_t narrow(WinHandle handle) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace quavr::platform::win32
