#include "platform/win32/win32.h"

#include "platform/common/handle_table.h"

namespace quavr::platform {

#if defined(_WIN64)

// A 64-bit Windows handle or address does not fit the seam's 32 bits: the blocks are the handle
// table's, over the C heap, behind 32-bit handles of its own, as on Linux.
namespace {
HandleTable& blocks() {
  static auto* table = new HandleTable;  // outlives every thread
  return *table;
}
}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  return blocks().alloc(flags, bytes);
}
// As Windows does, a movable block of no bytes is discarded from the start: it does not resolve.
LPVOID GlobalLock(HGLOBAL block) {
  if (blocks().size(block) == 0 &&
      (blocks().flags(block) & (GMEM_DDESHARE | GMEM_INVALID_HANDLE)) == 0) {
    return nullptr;
  }
  return blocks().lock(block);
}
BOOL GlobalUnlock(HGLOBAL block) {
  return blocks().unlock(block) ? 1 : 0;
}
HGLOBAL GlobalFree(HGLOBAL block) {
  return blocks().free(block);
}
UINT GlobalFlags(HGLOBAL block) {
  return blocks().flags(block);
}
SIZE_T GlobalSize(HGLOBAL block) {
  return blocks().size(block);
}
HGLOBAL GlobalHandle(const void* address) {
  return blocks().handleOf(address);
}

#else

// 32-bit: Windows' own blocks, whose handles are 32 bits wide.
using win32::narrow;
using win32::native;

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  return narrow(::GlobalAlloc(flags, bytes));
}
LPVOID GlobalLock(HGLOBAL block) {
  return ::GlobalLock(native< ::HGLOBAL>(block));
}
BOOL GlobalUnlock(HGLOBAL block) {
  return ::GlobalUnlock(native< ::HGLOBAL>(block));
}
HGLOBAL GlobalFree(HGLOBAL block) {
  return narrow(::GlobalFree(native< ::HGLOBAL>(block)));
}
UINT GlobalFlags(HGLOBAL block) {
  return ::GlobalFlags(native< ::HGLOBAL>(block));
}
SIZE_T GlobalSize(HGLOBAL block) {
  return ::GlobalSize(native< ::HGLOBAL>(block));
}
HGLOBAL GlobalHandle(const void* address) {
  return narrow(::GlobalHandle(address));
}

#endif

}  // namespace quavr::platform
