// Loading test songs through the fake platform and reading back what the load built.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "include/quavr.h"
#include "song/song_view.h"
#include "tests/fake/fake_platform.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {

struct EventCopy {
  std::uint32_t tick, timeMs, kind, offset, length;
  Bytes bytes;
  friend bool operator==(const EventCopy&, const EventCopy&) = default;
};

struct TrackCopy {
  std::uint32_t dataSize, eventCount, lengthMs;
  std::vector<EventCopy> events;
  friend bool operator==(const TrackCopy&, const TrackCopy&) = default;
};

struct SongCopy {
  std::uint32_t format, trackCount, division, lengthMs;
  bool hasTable;
  std::vector<TrackCopy> tracks;
  friend bool operator==(const SongCopy&, const SongCopy&) = default;
};

// A text's bytes, for a meta event.
inline Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
// A control change.
inline Bytes cc(std::uint8_t channel, std::uint8_t controller, std::uint8_t value) {
  return {static_cast<std::uint8_t>(0xB0 | channel), controller, value};
}

inline QuavrSong loadBytes(const Bytes& file, const std::string& path = "song.mid") {
  fake::addFile(path, file);
  return bgmGetSongFile(path.c_str());
}

// A copy of the song's records, checking on the way that each track's events tile its block.
inline SongCopy inspect(QuavrSong handle) {
  SongCopy copy{};
  const SongView view(handle);
  EXPECT_TRUE(view) << "not a live song block";
  if (!view) return copy;
  const Song& song = view.song();
  copy = {song.format, song.trackCount, song.division, song.lengthMs, view.hasTrackTable(), {}};
  for (std::uint32_t t = 0; t < view.tracks().size(); ++t) {
    const TrackView track = view.track(t);
    const Track& record = track.record();
    TrackCopy tc{record.dataSize, record.eventCount, record.lengthMs, {}};
    EXPECT_EQ(platform::GlobalSize(record.dataBlock), record.dataSize);
    EXPECT_EQ(platform::GlobalSize(record.eventBlock), record.eventCount * sizeof(Event));
    std::uint32_t offset = 0;
    for (const Event& e : track.events()) {
      EXPECT_EQ(e.offset, offset) << "track " << t << " event " << tc.events.size();
      if (e.offset != offset || std::uint64_t{e.offset} + e.length > record.dataSize) break;
      const auto bytes = track.bytes(e);
      tc.events.push_back(
          {e.tick, e.timeMs, e.kind, e.offset, e.length, Bytes(bytes.begin(), bytes.end())});
      offset += e.length;
    }
    EXPECT_EQ(offset, record.dataSize) << "track " << t << ": events do not fill the block";
    copy.tracks.push_back(std::move(tc));
  }
  return copy;
}

inline std::vector<Bytes> bytesOf(const TrackCopy& track) {
  std::vector<Bytes> out;
  for (const EventCopy& e : track.events) out.push_back(e.bytes);
  return out;
}

// One track holding exactly `body` (no End of Track added).
inline TrackCopy loadTrack(const Bytes& body, std::uint16_t division = 96) {
  const QuavrSong song = loadBytes(smf(division, {body}));
  SongCopy view = inspect(song);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
  return view.tracks.empty() ? TrackCopy{} : view.tracks[0];
}

}  // namespace quavr::test
