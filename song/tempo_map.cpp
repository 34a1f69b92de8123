#include "song/tempo_map.h"

#include <algorithm>
#include <vector>

#include "base/block.h"
#include "song/records.h"
#include "song/set_tempo.h"

namespace quavr {

using namespace platform;

namespace {

std::uint32_t timeOf(std::uint64_t usTicks, std::uint32_t division) {
  return TrackClock::msOf(usTicks, division);
}

// The exact song time `ticks` after `point`.
std::uint64_t usTicksAfter(const TempoPoint& point, std::uint32_t ticks) {
  return point.usTicks + std::uint64_t{point.usPerQuarter} * ticks;
}

// Visits every set-tempo event, tracks in index order, events in index order.
template <class Fn>
bool forEachSetTempo(Track* tracks, std::uint32_t trackCount, Fn&& fn) {
  for (std::uint32_t t = 0; t < trackCount; ++t) {
    if (tracks[t].eventCount == 0) continue;
    Resolved<Event> events(tracks[t].eventBlock);
    Resolved<std::uint8_t> data(tracks[t].dataBlock);
    if (!events || !data) return false;
    for (std::uint32_t i = 0; i < tracks[t].eventCount; ++i) {
      if (isSetTempo(events[i], data.get()))
        fn(events[i], tempoOf(events[i], data.get(), tracks[t].dataSize));
    }
  }
  return true;
}

std::uint32_t timeTrack(const TempoPoint* map, std::uint32_t last, Event* events,
                        std::uint32_t eventCount, std::uint32_t division) {
  TrackClock clock{map, last, division};
  for (std::uint32_t i = 0; i < eventCount; ++i) events[i].timeMs = clock.timeOf(events[i].tick);
  return eventCount == 0 ? 0 : events[eventCount - 1].timeMs;
}

}  // namespace

std::uint32_t ticksToMs(std::uint32_t usPerQuarter, std::uint32_t ticks, std::uint32_t division) {
  return timeOf(std::uint64_t{usPerQuarter} * ticks, division);
}

namespace {

// Step 1: every set-tempo event, tracks then events in index order. False when a block would
// not resolve. A song of many short tracks pays for every resolve.
bool gatherTempoChanges(Track* tracks, std::uint32_t trackCount, std::vector<TempoPoint>& found) {
  return forEachSetTempo(tracks, trackCount, [&](const Event& event, std::uint32_t tempo) {
    found.push_back(TempoPoint{event.tick, tempo, 0});
  });
}

// Step 3: every track's events timed against the map, the track and song lengths set.
bool timeTracks(Song& song, Track* tracks, const TempoPoint* map, std::uint32_t last) {
  for (std::uint32_t t = 0; t < song.trackCount; ++t) {
    if (tracks[t].eventCount == 0) continue;
    Resolved<Event> events(tracks[t].eventBlock);
    if (!events) return false;
    tracks[t].lengthMs = timeTrack(map, last, events.get(), tracks[t].eventCount, song.division);
    song.lengthMs = std::max(song.lengthMs, tracks[t].lengthMs);
  }
  return true;
}

}  // namespace

namespace {

void buildTempoMap(TempoPoint* map, const std::vector<TempoPoint>& found) {
  const auto count = static_cast<std::uint32_t>(found.size());
  std::copy(found.begin(), found.end(), map + 1);
  // Stable, so set-tempo events on one tick keep their track-then-event order.
  std::stable_sort(map + 1, map + 1 + count,
                   [](const TempoPoint& a, const TempoPoint& b) { return a.tick < b.tick; });
  map[0] = TempoPoint{0, kDefaultUsPerQuarter, 0};
  map[count + 1] = TempoPoint{0xFFFFFFFFu, kDefaultUsPerQuarter, ~std::uint64_t{0}};
  for (std::uint32_t i = 1; i <= count; ++i) {
    map[i].usTicks = usTicksAfter(map[i - 1], map[i].tick - map[i - 1].tick);
  }
}

}  // namespace

HGLOBAL makeTempoMap(const std::vector<TempoPoint>& found) {
  // A block of its exact size, made once the changes are counted.
  const HGLOBAL mapBlock =
      GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (found.size() + 2) * sizeof(TempoPoint));
  Resolved<TempoPoint> map(mapBlock);
  if (map) buildTempoMap(map.get(), found);
  return map ? mapBlock : GlobalFree(mapBlock);
}

void keepTempoMap(Song& song, HGLOBAL map, std::size_t changes) {
  GlobalFree(song.tempoBlock);
  song.tempoBlock = map;
  song.tempoCount = static_cast<std::uint32_t>(changes + 2);
}

bool timeSong(HGLOBAL songHandle) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  song->lengthMs = 0;
  if (song->trackTable == 0 || song->trackCount == 0) return true;
  Resolved<Track> tracks(song->trackTable);
  if (!tracks) return false;
  std::vector<TempoPoint> found;
  if (!gatherTempoChanges(tracks.get(), song->trackCount, found)) return false;
  const auto count = static_cast<std::uint32_t>(found.size());
  const HGLOBAL mapBlock = makeTempoMap(found);
  if (mapBlock == 0) return false;
  bool timed = false;
  {
    Resolved<TempoPoint> map(mapBlock);
    if (map) {
      timed = timeTracks(*song, tracks.get(), map.get(), count);
    }
  }
  if (!timed) {
    GlobalFree(mapBlock);
    return false;
  }
  keepTempoMap(*song, mapBlock, count);
  return true;
}

}  // namespace quavr
