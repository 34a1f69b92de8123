// Loading test songs through the fake platform and reading back what the load built.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "include/quavr.h"
#include "interface/block.h"
#include "song/records.h"
#include "tests/fake/fake_platform.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {

struct EventView {
  std::uint32_t tick, timeMs, kind, offset, length;
  Bytes bytes;
};

struct TrackView {
  std::uint32_t dataSize, eventCount, lengthMs;
  std::vector<EventView> events;
};

struct SongView {
  std::uint32_t format, trackCount, division, lengthMs;
  bool hasTable;
  std::vector<TrackView> tracks;
};

inline QuavrSong loadBytes(const Bytes& file, const std::string& path = "song.mid") {
  fake::addFile(path, file);
  return bgmGetSongFile(path.c_str());
}

// A copy of the song's records, checking on the way that each track's events tile its block.
inline SongView inspect(QuavrSong handle) {
  SongView view{};
  Resolved<Song> song(handle);
  EXPECT_TRUE(song) << "not a live song block";
  if (!song) return view;
  view = {song->format,   song->trackCount,      song->division,
          song->lengthMs, song->trackTable != 0, {}};
  if (!view.hasTable) return view;
  Resolved<Track> tracks(song->trackTable);
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    const Track& track = tracks[t];
    TrackView tv{track.dataSize, track.eventCount, track.lengthMs, {}};
    EXPECT_EQ(platform::GlobalSize(track.dataBlock), track.dataSize);
    EXPECT_EQ(platform::GlobalSize(track.eventBlock), track.eventCount * sizeof(Event));
    Resolved<std::uint8_t> data(track.dataBlock);
    Resolved<Event> events(track.eventBlock);
    std::uint32_t offset = 0;
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
      const Event& e = events[i];
      EXPECT_EQ(e.offset, offset) << "track " << t << " event " << i;
      if (e.offset != offset || std::uint64_t{e.offset} + e.length > track.dataSize) break;
      tv.events.push_back({e.tick, e.timeMs, e.kind, e.offset, e.length,
                           Bytes(data.get() + e.offset, data.get() + e.offset + e.length)});
      offset += e.length;
    }
    EXPECT_EQ(offset, track.dataSize) << "track " << t << ": events do not fill the block";
    view.tracks.push_back(std::move(tv));
  }
  return view;
}

inline std::vector<Bytes> bytesOf(const TrackView& track) {
  std::vector<Bytes> out;
  for (const EventView& e : track.events) out.push_back(e.bytes);
  return out;
}

// One track holding exactly `body` (no End of Track added).
inline TrackView loadTrack(const Bytes& body, std::uint16_t division = 96) {
  const QuavrSong song = loadBytes(smf(division, {body}));
  SongView view = inspect(song);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
  return view.tracks.empty() ? TrackView{} : view.tracks[0];
}

}  // namespace quavr::test
