// A dry render device's bgmRender allocates nothing and enters no OpenMP region (whose futex calls
// libgomp makes itself): counted on the calling thread by interposers here, which every library's
// calls reach. Built without sanitizers only, whose runtimes own malloc.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <vector>

#include "include/quavr.h"
#include "tests/smf/smf_writer.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {
thread_local int tCalls = 0;
void counted() {
  ++tCalls;
}
}  // namespace

// Each counts its call, then does what libc's does; default visibility, which the build hides.
#define COUNTED(type, name, parameters, call)                              \
  extern "C" __attribute__((visibility("default"))) type name parameters { \
    counted();                                                             \
    return call;                                                           \
  }
COUNTED(void*, malloc, (std::size_t n), __libc_malloc(n))
COUNTED(void*, calloc, (std::size_t n, std::size_t size), __libc_calloc(n, size))
COUNTED(void*, realloc, (void* p, std::size_t n), __libc_realloc(p, n))
COUNTED(void*, memalign, (std::size_t align, std::size_t n), __libc_memalign(align, n))
COUNTED(void*, aligned_alloc, (std::size_t align, std::size_t n), __libc_memalign(align, n))
COUNTED(int, posix_memalign, (void** p, std::size_t align, std::size_t n),
        (*p = __libc_memalign(align, n)) != nullptr ? 0 : ENOMEM)
COUNTED(void, free, (void* p), __libc_free(p))
// The OpenMP region FluidSynth renders its effects in.
COUNTED(void, GOMP_parallel, (void (*body)(void*), void* data, unsigned threads, unsigned flags),
        reinterpret_cast<void (*)(void (*)(void*), void*, unsigned, unsigned)>(
            dlsym(RTLD_NEXT, "GOMP_parallel"))(body, data, threads, flags))

namespace quavr::test {
namespace {

TEST(RenderClean, ADryDeviceRendersWithoutAllocatingOrOpenMP) {
  tCalls = 0;
  std::make_unique<std::vector<int>>(9)->resize(1000);
  EXPECT_GE(tCalls, 4) << "the interposers see what a library allocates and frees";
  // Chords on every channel, 10 ms on and 10 ms off: voices start and end in the renders.
  TrackWriter t;
  for (int i = 0; i < 300 * 16; ++i) {
    const auto channel = static_cast<std::uint8_t>(i % 16);
    const auto key = static_cast<std::uint8_t>(40 + (i / 32 * 7 + channel) % 50);
    t.note(channel == 0 ? 10 : 0, channel, key, i / 16 % 2 == 0 ? 90 : 0);
  }
  const Bytes file = smf(500, {t.end()});
  const QuavrSong song = bgmGetSongMem(file.data(), static_cast<std::uint32_t>(file.size()));
  const QuavrDevice device = bgmOpenRenderDev(44100 | QUAVR_RENDER_DRY, nullptr);
  ASSERT_NE(device, 0u);
  bgmPlay(device, song);
  std::vector<float> audio(2 * 441);
  bgmRender(device, audio.data(), 441, QUAVR_RENDER_F32);  // the first render warms up
  tCalls = 0;
  for (int i = 0; i < 200; ++i) bgmRender(device, audio.data(), 441, QUAVR_RENDER_F32);
  EXPECT_EQ(tCalls, 0) << "allocations and OpenMP regions in 200 renders";
  EXPECT_EQ(bgmBgmStatus(device), Playing);
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
}

}  // namespace
}  // namespace quavr::test
