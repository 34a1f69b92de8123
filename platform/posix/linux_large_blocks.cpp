// A large song's event blocks run to hundreds of megabytes. They are mapped on their own and asked
// for huge pages, which makes the page faults of a first touch several times fewer. Under
// AddressSanitizer every block stays a heap block, so a read past any of them is still caught.
// A freed map is kept for the next block of about its size: a song's blocks come back at the same
// sizes each time it is loaded, and a fresh map pays a page fault per page it is given.
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/posix/linux_only.h"

namespace quavr::platform::posix {

namespace {

// Blocks are mapped from 64 KB, so that a load finds the maps its last song freed: malloc would
// give such blocks back to the kernel at each free and fault them in afresh at each load.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kMappedFrom = ~std::size_t{0};
#else
constexpr std::size_t kMappedFrom = std::size_t{64} << 10;
#endif
constexpr std::size_t kPage = 4096;
// What the kept maps may hold in all while no block uses them: enough for the blocks of a 10 MB
// song (about 90 MB) to come back without a fresh page. They stay resident: pages given back
// lazily (MADV_FREE) made the next load that wrote them several times slower than fresh ones.
constexpr std::size_t kKeptBytes = std::size_t{128} << 20;
constexpr std::size_t kKeptMaps = 64;

struct KeptMap {
  void* data;
  std::size_t bytes;  // a whole number of pages
};

struct KeptMaps {
  std::mutex mutex;
  KeptMap maps[kKeptMaps];
  std::size_t count = 0;
  std::size_t bytes = 0;
};

KeptMaps& keptMaps() {
  static auto* kept = new KeptMaps;  // blocks may be freed after static destructors have run
  return *kept;
}

std::size_t pagesOf(std::size_t bytes) {
  return (bytes + kPage - 1) / kPage * kPage;
}

// The smallest kept map of `bytes` up to twice that, cut to `bytes`; null when none fits.
void* takeKeptMap(std::size_t bytes) {
  KeptMaps& kept = keptMaps();
  std::lock_guard guard(kept.mutex);
  std::size_t best = kept.count;
  for (std::size_t i = 0; i < kept.count; ++i) {
    const std::size_t size = kept.maps[i].bytes;
    if (size >= bytes && size / 2 <= bytes && (best == kept.count || size < kept.maps[best].bytes))
      best = i;
  }
  if (best == kept.count) return nullptr;
  const KeptMap map = kept.maps[best];
  kept.maps[best] = kept.maps[--kept.count];
  kept.bytes -= map.bytes;
  if (map.bytes > bytes) munmap(static_cast<char*>(map.data) + bytes, map.bytes - bytes);
  return map.data;
}

void* mapBlockMemory(std::size_t bytes, bool zeroed) {
  const std::size_t pages = pagesOf(bytes);
  if (void* data = takeKeptMap(pages)) {
    if (zeroed) std::memset(data, 0, bytes);
    return data;
  }
  void* data = mmap(nullptr, pages, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return nullptr;
  madvise(data, pages, MADV_HUGEPAGE);  // anonymous maps come zero-filled
  return data;
}

void unmapBlockMemory(void* data, std::size_t bytes) {
  const std::size_t pages = pagesOf(bytes);
  KeptMaps& kept = keptMaps();
  {
    std::lock_guard guard(kept.mutex);
    if (kept.count < kKeptMaps && kept.bytes + pages <= kKeptBytes) {
      kept.maps[kept.count++] = KeptMap{data, pages};
      kept.bytes += pages;
      return;
    }
  }
  munmap(data, pages);
}

}  // namespace

void* allocateBlockMemory(std::size_t bytes) {
  return bytes < kMappedFrom ? std::calloc(1, bytes) : mapBlockMemory(bytes, true);
}

void* allocateUnzeroedBlockMemory(std::size_t bytes) {
  // malloc(0) may give null, which would read as a failure.
  return bytes < kMappedFrom ? std::malloc(bytes == 0 ? 1 : bytes) : mapBlockMemory(bytes, false);
}

void releaseBlockMemory(void* data, std::size_t bytes) {
  if (bytes < kMappedFrom) {
    std::free(data);
  } else {
    unmapBlockMemory(data, bytes);
  }
}

}  // namespace quavr::platform::posix
