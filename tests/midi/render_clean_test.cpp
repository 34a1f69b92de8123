// A dry render device (QUAVR_RENDER_DRY) keeps the audio thread clean: bgmRender allocates
// nothing, makes no system call through libc and enters no OpenMP region. Counted on the calling
// thread by interposers in this executable, which every library's calls reach; built without
// sanitizers only, whose runtimes own malloc.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
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

thread_local bool tCounting = false;
thread_local int tCalls = 0;

void counted() {
  if (tCounting) ++tCalls;
}

}  // namespace

// Seen by every library: the build hides what it does not export.
#define INTERPOSED __attribute__((visibility("default")))

extern "C" {
INTERPOSED void* malloc(std::size_t size) {
  counted();
  return __libc_malloc(size);
}
INTERPOSED void* calloc(std::size_t count, std::size_t size) {
  counted();
  return __libc_calloc(count, size);
}
INTERPOSED void* realloc(void* block, std::size_t size) {
  counted();
  return __libc_realloc(block, size);
}
INTERPOSED void* memalign(std::size_t alignment, std::size_t size) {
  counted();
  return __libc_memalign(alignment, size);
}
INTERPOSED void* aligned_alloc(std::size_t alignment, std::size_t size) {
  counted();
  return __libc_memalign(alignment, size);
}
INTERPOSED int posix_memalign(void** block, std::size_t alignment, std::size_t size) {
  counted();
  *block = __libc_memalign(alignment, size);
  return *block == nullptr ? ENOMEM : 0;
}
INTERPOSED void free(void* block) {
  if (block != nullptr) counted();
  __libc_free(block);
}
// The OpenMP region FluidSynth renders its effects in (its futex calls are libgomp's own).
INTERPOSED void GOMP_parallel(void (*body)(void*), void* data, unsigned threads, unsigned flags) {
  counted();
  static const auto real = reinterpret_cast<void (*)(void (*)(void*), void*, unsigned, unsigned)>(
      dlsym(RTLD_NEXT, "GOMP_parallel"));
  real(body, data, threads, flags);
}
// GLib's mutexes and conditions make their futex calls here.
INTERPOSED long syscall(long number, ...) {
  counted();
  long a[6];
  va_list args;
  va_start(args, number);
  for (long& value : a) value = va_arg(args, long);
  va_end(args);
  static const auto real = reinterpret_cast<long (*)(long, ...)>(dlsym(RTLD_NEXT, "syscall"));
  return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
}

namespace quavr::test {
namespace {

// Counts the calls above that `body` makes on this thread.
template <class Body>
int callsIn(Body&& body) {
  tCalls = 0;
  tCounting = true;
  body();
  tCounting = false;
  return tCalls;
}

TEST(RenderClean, ADryDeviceRendersWithoutAllocatingOrSystemCalls) {
  // The interposers see what a library allocates, not only this file.
  EXPECT_GE(callsIn([] { std::vector<int>(1000).swap(*std::make_unique<std::vector<int>>(9)); }),
            4);

  // Chords on every channel, changing every 20 ms: voices start, sound and end in the renders.
  TrackWriter t;
  for (int i = 0; i < 150; ++i) {
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
      t.note(channel == 0 ? 20 : 0, channel, static_cast<std::uint8_t>(40 + (i * 7 + channel) % 50),
             90);
      t.note(channel == 0 ? 15 : 0, channel, static_cast<std::uint8_t>(40 + (i * 7 + channel) % 50),
             0);
    }
  }
  const Bytes file = smf(500, {t.end()});
  const QuavrSong song = bgmGetSongMem(file.data(), static_cast<std::uint32_t>(file.size()));
  const QuavrDevice device = bgmOpenRenderDev(44100 | QUAVR_RENDER_DRY, nullptr);
  ASSERT_NE(device, 0u);
  bgmPlay(device, song);
  std::vector<float> audio(2 * 441);
  bgmRender(device, audio.data(), 441, QUAVR_RENDER_F32);  // the first render warms up
  const int calls = callsIn([&] {
    for (int i = 0; i < 200; ++i) bgmRender(device, audio.data(), 441, QUAVR_RENDER_F32);
  });
  EXPECT_EQ(calls, 0) << "allocations, libc system calls and OpenMP regions in 200 renders";
  EXPECT_EQ(bgmBgmStatus(device), Playing);
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
}

}  // namespace
}  // namespace quavr::test
