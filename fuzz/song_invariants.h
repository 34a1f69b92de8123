// What must hold of any loaded song, whatever file it came from. A failure aborts, so the
// fuzzer keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "include/quavr.h"
#include "interface/block.h"
#include "song/records.h"

#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

namespace quavr::fuzz {

inline void checkSong(QuavrSong handle) {
  Resolved<Song> song(handle);
  FUZZ_CHECK(song);
  if (song->trackTable == 0) {
    FUZZ_CHECK(song->trackCount == 0);
    FUZZ_CHECK(song->lengthMs == 0);
    return;
  }
  Resolved<Track> tracks(song->trackTable);
  FUZZ_CHECK(tracks || song->trackCount == 0);  // a table of no bytes need not resolve
  FUZZ_CHECK(platform::GlobalSize(song->trackTable) == song->trackCount * sizeof(Track));
  std::uint32_t longest = 0;
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    const Track& track = tracks[t];
    FUZZ_CHECK(platform::GlobalSize(track.dataBlock) == track.dataSize);
    FUZZ_CHECK(platform::GlobalSize(track.eventBlock) ==
               std::size_t{track.eventCount} * sizeof(Event));
    if (track.eventCount == 0) {
      FUZZ_CHECK(track.dataSize == 0 && track.lengthMs == 0);
      continue;
    }
    Resolved<Event> events(track.eventBlock);
    FUZZ_CHECK(events);
    std::uint64_t offset = 0;
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
      const Event& e = events[i];
      FUZZ_CHECK(e.offset == offset);
      offset += e.length;
      FUZZ_CHECK(e.kind == kChannelEvent || e.kind == kSysexEvent || e.kind == kEscapeEvent ||
                 e.kind == kMetaEvent);
      if (e.kind == kChannelEvent) FUZZ_CHECK(e.length == 4);
      if (i > 0) FUZZ_CHECK(e.timeMs >= events[i - 1].timeMs);
    }
    FUZZ_CHECK(offset == track.dataSize);
    FUZZ_CHECK(track.lengthMs == events[track.eventCount - 1].timeMs);
    if (track.lengthMs > longest) longest = track.lengthMs;
  }
  FUZZ_CHECK(song->lengthMs == longest);
}

}  // namespace quavr::fuzz
