#include <sys/mman.h>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/handle_table.h"

namespace quavr::platform {

namespace {

// A large song's event blocks run to hundreds of megabytes. They are mapped on their own and
// asked for huge pages, which makes the page faults of a first touch several times fewer. Under
// AddressSanitizer every block stays a heap block, so a read past any of them is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kMappedFrom = ~std::size_t{0};
#else
constexpr std::size_t kMappedFrom = std::size_t{4} << 20;
#endif

void* allocate(std::size_t bytes) {
  if (bytes < kMappedFrom) return std::calloc(1, bytes);
  void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return nullptr;
  madvise(data, bytes, MADV_HUGEPAGE);  // anonymous maps come zero-filled
  return data;
}

void release(void* data, std::size_t bytes) {
  if (bytes < kMappedFrom) {
    std::free(data);
  } else {
    munmap(data, bytes);
  }
}

HandleTable& blocks() {
  static auto* table = new HandleTable({allocate, release});  // outlives every thread
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
