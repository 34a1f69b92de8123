#include "song/track_expansion.h"

#include "base/block.h"
#include "song/loop_marks.h"
#include "song/meter_map.h"
#include "song/set_tempo.h"
#include "song/tempo_map.h"
#include "song/track_events.h"

namespace quavr {

using namespace platform;

namespace {

// A set-tempo event as the timing pass reads it from the expanded bytes (a meta event is kept
// whole, so those are the bytes at `at`); one too short to hold its tempo leaves `changes`
// incomplete.
void noteSetTempo(const std::uint8_t* at, const EventShape& shape, std::uint32_t tick,
                  TempoChanges& changes) {
  if (shape.expanded < 2 || at[1] != kSetTempoType) return;
  if (shape.expanded < 6) {
    changes.complete = false;
    return;
  }
  const std::uint32_t tempo = (std::uint32_t{at[3]} << 16) | (std::uint32_t{at[4]} << 8) | at[5];
  changes.found.push_back(TempoPoint{tick, tempo, 0});
}

}  // namespace

std::uint32_t measureTrack(Track& track, std::uint32_t chunkLength, const std::uint8_t* imageEnd,
                           TempoChanges* changes) {
  std::uint64_t consumed = 0;
  std::uint32_t tick = 0;
  std::uint64_t dataSize = 0;
  std::uint32_t eventCount = 0;
  std::uint8_t runningStatus = 0;
  const std::uint8_t* at = track.data;
  while (consumed < chunkLength) {
    VarLen delta;
    EventShape shape;
    if (!nextEvent(at, imageEnd, runningStatus, delta, shape)) break;
    if (dataSize + shape.expanded > 0xFFFFFFFFu || eventCount == 0xFFFFFFFFu) break;
    tick += delta.value;
    if (shape.kind == kMetaEvent && changes != nullptr) {
      noteSetTempo(at + delta.size, shape, tick, *changes);
      MeterChange meter;
      if (readTimeSignature(at + delta.size, at + delta.size + shape.taken, tick, meter))
        changes->meters.push_back(meter);
    }
    at += delta.size + shape.taken;
    consumed += delta.size + shape.taken;
    dataSize += shape.expanded;
    ++eventCount;
  }
  track.eventCount = eventCount;
  track.dataSize = static_cast<std::uint32_t>(dataSize);
  return track.dataSize;
}

namespace {

// Where the expansion notes the events of track `track` that may mark a loop.
struct LoopCandidates {
  std::uint32_t track;
  std::vector<EventRef>& list;
};

// The expansion loop, with or without timing, so the untimed one pays nothing for it. The clock is
// a copy of its own, which the event writes cannot alias.
template <bool kTimed>
std::uint32_t expandEvents(const Track& track, std::uint8_t* data, Event* events,
                           const std::uint8_t* source, const std::uint8_t* imageEnd,
                           TrackClock clock, LoopCandidates* marks = nullptr) {
  std::uint32_t written = 0;
  std::uint32_t tick = 0;
  std::uint8_t runningStatus = 0;
  for (std::uint32_t i = 0; i < track.eventCount; ++i) {
    VarLen delta;
    EventShape shape;
    // The sizing pass walked these very bytes, so every event measured there fits here.
    if (!nextEvent(source, imageEnd, runningStatus, delta, shape)) break;
    source += delta.size;
    tick += delta.value;
    const std::uint32_t timeMs = kTimed ? clock.timeOf(tick) : 0;
    events[i] = Event{tick, timeMs, shape.kind, written, shape.expanded};
    writeEvent(source, shape, data + written);
    if (marks != nullptr && mayMarkLoop(shape.kind, data + written))
      marks->list.push_back(EventRef{marks->track, i});
    source += shape.taken;
    written += shape.expanded;
  }
  return written;
}

}  // namespace

std::uint32_t expandTrack(const Track& track, std::uint8_t* data, Event* events,
                          const std::uint8_t* source, const std::uint8_t* imageEnd,
                          const TrackClock* clock) {
  if (clock == nullptr)
    return expandEvents<false>(track, data, events, source, imageEnd, {nullptr, 0, 0});
  return expandEvents<true>(track, data, events, source, imageEnd, *clock);
}

namespace {

bool expandTracks(Song& song, Track* tracks, const std::uint8_t* imageEnd, const TempoPoint* map,
                  std::uint32_t last, std::vector<EventRef>& loopMarks) {
  for (std::uint32_t t = 0; t < song.trackCount; ++t) {
    Track& track = tracks[t];
    // Neither block is zero-filled: the expansion writes every byte of both.
    track.dataBlock = GlobalAlloc(GMEM_DDESHARE, track.dataSize);
    if (track.dataBlock == 0) return false;
    track.eventBlock = GlobalAlloc(GMEM_MOVEABLE, std::size_t{track.eventCount} * sizeof(Event));
    if (track.eventBlock == 0) return false;
    if (track.eventCount == 0) continue;
    Resolved<std::uint8_t> data(track.dataBlock);
    Resolved<Event> events(track.eventBlock);
    if (!data || !events) return false;
    LoopCandidates marks{t, loopMarks};
    if (map == nullptr) {
      expandEvents<false>(track, data.get(), events.get(), track.data, imageEnd, {nullptr, 0, 0},
                          &marks);
      continue;
    }
    expandEvents<true>(track, data.get(), events.get(), track.data, imageEnd,
                       TrackClock{map, last, song.division}, &marks);
    track.lengthMs = events[track.eventCount - 1].timeMs;
    song.lengthMs = std::max(song.lengthMs, track.lengthMs);
  }
  return true;
}

}  // namespace

bool expandSong(HGLOBAL songHandle, const std::uint8_t* imageEnd, const TempoChanges& changes,
                std::vector<EventRef>& loopMarks) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  if (song->trackTable == 0 || song->trackCount == 0) return true;
  Resolved<Track> tracks(song->trackTable);
  if (!tracks) return false;
  if (!changes.complete) return expandTracks(*song, tracks.get(), imageEnd, nullptr, 0, loopMarks);
  const HGLOBAL mapBlock = makeTempoMap(changes.found);
  if (mapBlock == 0) return false;
  bool expanded = false;
  {
    Resolved<TempoPoint> map(mapBlock);
    if (map) {
      const auto last = static_cast<std::uint32_t>(changes.found.size());
      expanded = expandTracks(*song, tracks.get(), imageEnd, map.get(), last, loopMarks);
    }
  }
  // The song keeps the map for its grid.
  if (!expanded) {
    GlobalFree(mapBlock);
    return false;
  }
  keepTempoMap(*song, mapBlock, changes.found.size());
  return true;
}

}  // namespace quavr
