// What must hold of any loaded song, whatever file it came from. A failure aborts, so the
// fuzzer keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "include/quavr.h"
#include "song/song_view.h"

#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

namespace quavr::fuzz {

inline void checkSong(QuavrSong handle) {
  const SongView view(handle);
  FUZZ_CHECK(view);
  const Song& song = view.song();
  if (!view.hasTrackTable()) {
    FUZZ_CHECK(song.trackCount == 0);
    FUZZ_CHECK(song.lengthMs == 0);
    return;
  }
  FUZZ_CHECK(view.tracks().size() == song.trackCount);  // a table of no bytes need not resolve
  FUZZ_CHECK(platform::GlobalSize(song.trackTable) == song.trackCount * sizeof(Track));
  std::uint32_t longest = 0;
  for (std::uint32_t t = 0; t < song.trackCount; ++t) {
    const TrackView track = view.track(t);
    const Track& record = track.record();
    FUZZ_CHECK(platform::GlobalSize(record.dataBlock) == record.dataSize);
    FUZZ_CHECK(platform::GlobalSize(record.eventBlock) ==
               std::size_t{record.eventCount} * sizeof(Event));
    if (record.eventCount == 0) {
      FUZZ_CHECK(record.dataSize == 0 && record.lengthMs == 0);
      continue;
    }
    FUZZ_CHECK(track.resolved());
    const auto events = track.events();
    std::uint64_t offset = 0;
    for (std::uint32_t i = 0; i < events.size(); ++i) {
      const Event& e = events[i];
      FUZZ_CHECK(e.offset == offset);
      offset += e.length;
      FUZZ_CHECK(e.kind == kChannelEvent || e.kind == kSysexEvent || e.kind == kEscapeEvent ||
                 e.kind == kMetaEvent);
      if (e.kind == kChannelEvent) FUZZ_CHECK(e.length == 4);
      if (i > 0) FUZZ_CHECK(e.timeMs >= events[i - 1].timeMs);
    }
    FUZZ_CHECK(offset == record.dataSize);
    FUZZ_CHECK(record.lengthMs == events.back().timeMs);
    if (record.lengthMs > longest) longest = record.lengthMs;
  }
  FUZZ_CHECK(song.lengthMs == longest);
}

// Two loads of the same bytes: the same records, event by event and byte by byte.
inline void checkSameSong(QuavrSong a, QuavrSong b) {
  const SongView x(a), y(b);
  FUZZ_CHECK(x && y);
  FUZZ_CHECK(x.song().format == y.song().format && x.song().division == y.song().division);
  FUZZ_CHECK(x.song().lengthMs == y.song().lengthMs);
  FUZZ_CHECK(x.tracks().size() == y.tracks().size());
  for (std::uint32_t t = 0; t < x.tracks().size(); ++t) {
    const TrackView s = x.track(t), u = y.track(t);
    FUZZ_CHECK(s.record().dataSize == u.record().dataSize);
    FUZZ_CHECK(s.events().size() == u.events().size());
    for (std::uint32_t i = 0; i < s.events().size(); ++i) {
      const Event &e = s.events()[i], &f = u.events()[i];
      FUZZ_CHECK(e.tick == f.tick && e.timeMs == f.timeMs && e.kind == f.kind);
      FUZZ_CHECK(e.offset == f.offset && e.length == f.length);
    }
    if (s.record().dataSize != 0) {
      FUZZ_CHECK(std::memcmp(s.data(), u.data(), s.record().dataSize) == 0);
    }
  }
}

}  // namespace quavr::fuzz
