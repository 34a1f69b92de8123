// A loaded song's records, read-only, for whoever reads a song without playing it: quavr-info,
// the tests, the fuzz targets' checks. The blocks stay resolved while a view lives; the song must
// not be deleted meanwhile.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/block.h"
#include "song/records.h"
#include "song/set_tempo.h"

namespace quavr {

// One track's events and their expanded bytes.
class TrackView {
 public:
  explicit TrackView(const Track& track)
      : track_(track),
        events_(track.eventCount == 0 ? 0 : track.eventBlock),
        data_(track.eventCount == 0 ? 0 : track.dataBlock) {}

  const Track& record() const { return track_; }
  // False when a block of a track with events would not resolve.
  bool resolved() const { return track_.eventCount == 0 || (events_ && data_); }
  std::span<const Event> events() const {
    return {events_.get(), resolved() ? track_.eventCount : 0};
  }
  const std::uint8_t* data() const { return data_.get(); }
  std::span<const std::uint8_t> bytes(const Event& event) const {
    return {data_.get() + event.offset, event.length};
  }

 private:
  const Track& track_;
  Resolved<Event> events_;
  Resolved<std::uint8_t> data_;
};

class SongView {
 public:
  explicit SongView(platform::HGLOBAL song) : song_(song), tracks_(song_ ? song_->trackTable : 0) {}

  // False when the handle names no song block.
  explicit operator bool() const { return static_cast<bool>(song_); }
  const Song& song() const { return *song_; }
  // False for a file that is not a MIDI file or misses a track chunk: no track table.
  bool hasTrackTable() const { return song_->trackTable != 0; }
  std::span<const Track> tracks() const { return {tracks_.get(), tracks_ ? song_->trackCount : 0}; }
  TrackView track(std::uint32_t index) const { return TrackView(tracks_[index]); }

 private:
  Resolved<Song> song_;
  Resolved<Track> tracks_;
};

struct TempoChange {
  std::uint32_t tick;
  std::uint32_t timeMs;
  std::uint32_t usPerQuarter;
};

// Every set-tempo event the timing pass used, tracks then events in index order.
inline std::vector<TempoChange> tempoChanges(const SongView& song) {
  std::vector<TempoChange> changes;
  for (std::uint32_t t = 0; t < song.tracks().size(); ++t) {
    const TrackView track = song.track(t);
    for (const Event& e : track.events()) {
      if (isSetTempo(e, track.data())) {
        changes.push_back({e.tick, e.timeMs, tempoOf(e, track.data(), track.record().dataSize)});
      }
    }
  }
  return changes;
}

}  // namespace quavr
