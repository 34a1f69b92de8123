// A large song's event blocks run to hundreds of megabytes. They are mapped on their own and asked
// for huge pages, which makes the page faults of a first touch several times fewer. Under
// AddressSanitizer every block stays a heap block, so a read past any of them is still caught.
#include <sys/mman.h>

#include <cstdlib>

#include "platform/posix/linux_only.h"

namespace quavr::platform::posix {

namespace {
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kMappedFrom = ~std::size_t{0};
#else
constexpr std::size_t kMappedFrom = std::size_t{4} << 20;
#endif
}  // namespace

namespace {

void* mapBlockMemory(std::size_t bytes) {
  void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return nullptr;
  madvise(data, bytes, MADV_HUGEPAGE);  // anonymous maps come zero-filled
  return data;
}

}  // namespace

void* allocateBlockMemory(std::size_t bytes) {
  return bytes < kMappedFrom ? std::calloc(1, bytes) : mapBlockMemory(bytes);
}

void* allocateUnzeroedBlockMemory(std::size_t bytes) {
  // malloc(0) may give null, which would read as a failure.
  return bytes < kMappedFrom ? std::malloc(bytes == 0 ? 1 : bytes) : mapBlockMemory(bytes);
}

void releaseBlockMemory(void* data, std::size_t bytes) {
  if (bytes < kMappedFrom) {
    std::free(data);
  } else {
    munmap(data, bytes);
  }
}

}  // namespace quavr::platform::posix
