// The sizing pass and the expansion pass agree on any bytes: the expansion fills blocks of
// exactly the measured sizes, never more (ASan watches their ends).
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

#include "fuzz/song_invariants.h"
#include "song/track_expansion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quavr;
  FuzzedDataProvider input(data, size);
  const auto chunkLength = input.ConsumeIntegral<std::uint32_t>();
  const std::vector<std::uint8_t> chunk = input.ConsumeRemainingBytes<std::uint8_t>();
  // A heap copy of exactly the chunk's size, so a read past it is caught.
  auto image = std::make_unique<std::uint8_t[]>(chunk.size());
  std::copy(chunk.begin(), chunk.end(), image.get());
  const std::uint8_t* end = image.get() + chunk.size();

  Track track{};
  track.data = image.get();
  measureTrack(track, chunkLength, end);
  FUZZ_CHECK(track.data >= image.get() && track.data <= end);
  auto bytes = std::make_unique<std::uint8_t[]>(track.dataSize);
  auto events = std::make_unique<Event[]>(track.eventCount);
  FUZZ_CHECK(expandTrack(track, bytes.get(), events.get(), image.get(), end) == track.dataSize);
  std::uint64_t offset = 0;
  for (std::uint32_t i = 0; i < track.eventCount; ++i) {
    FUZZ_CHECK(events[i].offset == offset);
    offset += events[i].length;
  }
  FUZZ_CHECK(offset == track.dataSize);
  return 0;
}
