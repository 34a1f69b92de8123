// Global memory blocks on Linux: the handle table over the process's memory (table_memory.cpp
// gives the seam's calls).
#include "platform/common/handle_table.h"
#include "platform/platform_info.h"
#include "platform/posix/linux_only.h"

namespace quavr::platform {

HandleTable& blockTable() {
  // Outlives every thread.
  static auto* table =
      new HandleTable({posix::allocateBlockMemory, posix::releaseBlockMemory,
                       posix::allocateUnzeroedBlockMemory, posix::releaseBlockMemory});
  return *table;
}

namespace posix {
std::size_t liveBlocks() {
  return blockTable().liveBlocks();
}
}  // namespace posix

}  // namespace quavr::platform
