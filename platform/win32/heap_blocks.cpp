// 64-bit Windows: a system handle or address does not fit the seam's 32 bits, so the blocks are
// the handle table's, over the C heap, behind 32-bit handles of its own, as on Linux
// (table_memory.cpp gives the seam's calls).
#include "platform/common/handle_table.h"

namespace quavr::platform {

HandleTable& blockTable() {
  static auto* table = new HandleTable;  // outlives every thread
  return *table;
}

}  // namespace quavr::platform
