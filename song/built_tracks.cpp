#include "song/built_tracks.h"

#include <algorithm>
#include <cstring>

#include "base/block.h"
#include "song/tempo_map.h"
#include "song/track_events.h"

namespace quavr {

using namespace platform;

std::uint32_t appendSmfEvent(BuiltTrack& track, std::uint32_t tick, const std::uint8_t* at,
                             const std::uint8_t* end, std::uint8_t& runningStatus) {
  EventShape shape;
  if (!measureEvent(at, end, runningStatus, shape)) return 0;
  const auto offset = static_cast<std::uint32_t>(track.data.size());
  track.data.resize(offset + std::size_t{shape.expanded});
  writeEvent(at, shape, track.data.data() + offset);
  track.events.push_back(Event{tick, 0, shape.kind, offset, shape.expanded});
  return shape.taken;
}

namespace {

bool storeTrack(const BuiltTrack& built, Track& track, std::uint32_t t,
                const TrackClock::MsDivider& ms, std::vector<EventRef>& loopMarks) {
  track.eventCount = static_cast<std::uint32_t>(built.events.size());
  track.dataSize = 0;
  for (const Event& e : built.events) track.dataSize += e.length;
  track.dataBlock = GlobalAlloc(GMEM_DDESHARE, track.dataSize);
  if (track.dataBlock == 0) return false;
  track.eventBlock = GlobalAlloc(GMEM_MOVEABLE, std::size_t{track.eventCount} * sizeof(Event));
  if (track.eventBlock == 0) return false;
  if (track.eventCount == 0) return true;
  Resolved<std::uint8_t> data(track.dataBlock);
  Resolved<Event> events(track.eventBlock);
  if (!data || !events) return false;
  std::uint32_t written = 0;
  std::uint32_t lastTick = 0, lastMs = 0;
  for (std::uint32_t i = 0; i < track.eventCount; ++i) {
    const Event& from = built.events[i];
    // One second is a quarter note of one million µs at `ticksPerSecond` ticks to it.
    if (i == 0 || from.tick != lastTick) lastMs = ms(std::uint64_t{from.tick} * 1000000);
    lastTick = from.tick;
    std::uint8_t* out = data.get() + written;
    std::memcpy(out, built.data.data() + from.offset, from.length);
    events[i] = Event{from.tick, lastMs, from.kind, written, from.length};
    if (mayMarkLoop(from.kind, out)) loopMarks.push_back(EventRef{t, i});
    written += from.length;
  }
  track.lengthMs = lastMs;
  return true;
}

}  // namespace

bool storeTracks(HGLOBAL songHandle, const std::vector<BuiltTrack>& tracks,
                 std::uint32_t ticksPerSecond, std::vector<EventRef>& loopMarks) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  song->trackCount = static_cast<std::uint32_t>(tracks.size());
  song->trackTable = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, tracks.size() * sizeof(Track));
  if (song->trackTable == 0) return false;
  Resolved<Track> table(song->trackTable);
  if (!table && !tracks.empty()) return false;
  const TrackClock::MsDivider ms(ticksPerSecond);
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    if (!storeTrack(tracks[t], table[t], t, ms, loopMarks)) return false;
    song->lengthMs = std::max(song->lengthMs, table[t].lengthMs);
  }
  return true;
}

}  // namespace quavr
