// The seam's global memory over blockTable(), where the platform's own blocks do not fit 32-bit
// handles (Linux, 64-bit Windows): each handle names a slot of the table.
#include "platform/common/handle_table.h"
#include "platform/platform.h"

namespace quavr::platform {

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  return blockTable().alloc(flags, bytes);
}
LPVOID GlobalLock(HGLOBAL block) {
  return blockTable().lock(block);
}
BOOL GlobalUnlock(HGLOBAL block) {
  return blockTable().unlock(block) ? 1 : 0;
}
HGLOBAL GlobalFree(HGLOBAL block) {
  return blockTable().free(block);
}
UINT GlobalFlags(HGLOBAL block) {
  return blockTable().flags(block);
}
SIZE_T GlobalSize(HGLOBAL block) {
  return blockTable().size(block);
}
HGLOBAL GlobalHandle(const void* address) {
  return blockTable().handleOf(address);
}

}  // namespace quavr::platform
