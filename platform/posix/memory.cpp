// Global memory blocks on Linux: the handle table over the process's memory.
#include "platform/common/handle_table.h"
#include "platform/platform.h"
#include "platform/platform_info.h"
#include "platform/posix/linux_only.h"

namespace quavr::platform {

namespace {

HandleTable& blocks() {
  // Outlives every thread.
  static auto* table =
      new HandleTable({posix::allocateBlockMemory, posix::releaseBlockMemory,
                       posix::allocateUnzeroedBlockMemory, posix::releaseBlockMemory});
  return *table;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  return blocks().alloc(flags, bytes);
}
LPVOID GlobalLock(HGLOBAL block) {
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

namespace posix {
std::size_t liveBlocks() {
  return blocks().liveBlocks();
}
}  // namespace posix

}  // namespace quavr::platform
