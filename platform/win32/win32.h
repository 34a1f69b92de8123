// The Windows API under the platform layer's names. platform.h comes first: once windows.h is
// in, its macros (GMEM_MOVEABLE, MOM_DONE, …) would rewrite the layer's own declarations.
#pragma once

#include "platform/platform.h"
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstddef>
#include <cstdint>

namespace quavr::platform::win32 {

static_assert(sizeof(platform::MIDIHDR) == sizeof(::MIDIHDR));
static_assert(offsetof(platform::MIDIHDR, dwReserved) == offsetof(::MIDIHDR, dwReserved));
static_assert(sizeof(platform::TIMECAPS) == sizeof(::TIMECAPS));

// On 32-bit Windows the seam's 32-bit handles are the system's own (64-bit ones do not fit: see
// memory.cpp and midi_out.cpp).
template <class WinHandle>
WinHandle native(std::uint32_t handle) {
  return reinterpret_cast<WinHandle>(static_cast<std::uintptr_t>(handle));
}

template <class WinHandle>
std::uint32_t narrow(WinHandle handle) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

}  // namespace quavr::platform::win32
