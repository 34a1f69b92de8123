#include "song/built_tracks.h"

#include <algorithm>
#include <cstdint>
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
  if (shape.kind == kChannelEvent) {
    std::uint8_t bytes[4];
    writeEvent(at, shape, bytes);
    track.channel(tick, bytes[0], bytes[1], bytes[2]);
    return shape.taken;
  }
  const auto offset = static_cast<std::uint32_t>(track.data.size());
  track.data.resize(offset + std::size_t{shape.expanded});
  writeEvent(at, shape, track.data.data() + offset);
  track.other(tick, shape.kind, offset, shape.expanded);
  return shape.taken;
}

namespace {

// Writes the events in order, each at its time.
class TrackWriter {
 public:
  TrackWriter(std::uint8_t* data, Event* events, std::uint32_t ticksPerSecond)
      : data_(data), events_(events), ms_(ticksPerSecond) {}

  void add(std::uint32_t tick, std::uint32_t kind, const std::uint8_t* bytes, std::uint32_t size) {
    // One second is a quarter note of one million µs at `ticksPerSecond` ticks to it.
    if (count_ == 0 || tick != lastTick_) lastMs_ = ms_(std::uint64_t{tick} * 1000000);
    lastTick_ = tick;
    std::memcpy(data_ + written_, bytes, size);
    events_[count_++] = Event{tick, lastMs_, kind, written_, size};
    written_ += size;
  }
  std::uint32_t lastMs() const { return lastMs_; }

 private:
  std::uint8_t* data_;
  Event* events_;
  TrackClock::MsDivider ms_;
  std::uint32_t written_ = 0, count_ = 0, lastTick_ = 0, lastMs_ = 0;
};

bool storeTrack(const BuiltTrack& built, Track& track, std::uint32_t t,
                std::uint32_t ticksPerSecond, std::vector<EventRef>& loopMarks) {
  const auto own = static_cast<std::uint32_t>(built.events.size());
  std::uint64_t count = std::uint64_t{own} + built.offs.size();
  std::uint64_t size = 4 * (count - built.others.size());
  for (const Event& e : built.others) size += e.length;
  // Beyond what a block of events can index: as a load past the memory there is.
  if (size > 0xFFFFFFFFu || count * sizeof(Event) > SIZE_MAX) return false;
  track.eventCount = static_cast<std::uint32_t>(count);
  track.dataSize = static_cast<std::uint32_t>(size);
  track.dataBlock = GlobalAlloc(GMEM_DDESHARE, track.dataSize);
  if (track.dataBlock == 0) return false;
  track.eventBlock = GlobalAlloc(GMEM_MOVEABLE, std::size_t{track.eventCount} * sizeof(Event));
  if (track.eventBlock == 0) return false;
  if (track.eventCount == 0) return true;
  Resolved<std::uint8_t> data(track.dataBlock);
  Resolved<Event> events(track.eventBlock);
  if (!data || !events) return false;
  TrackWriter out(data.get(), events.get(), ticksPerSecond);
  std::size_t off = 0;
  std::uint32_t index = 0;
  for (std::uint32_t i = 0; i <= own; ++i) {
    const std::uint64_t place = i < own ? noteOffOrder(built.events[i].tick, 2ull * i + 1) : ~0ull;
    for (; off < built.offs.size() && built.offs[off].order < place; ++off, ++index) {
      const PendingNoteOff& n = built.offs[off];
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(0x80 | n.channel), n.key, 0, 0};
      out.add(static_cast<std::uint32_t>(n.order >> 32), kChannelEvent, bytes, 4);
    }
    if (i == own) break;
    const BuiltEvent& e = built.events[i];
    if ((e.packed & kOther) == kOther) {
      const Event& other = built.others[e.packed & ~kOther];
      out.add(e.tick, other.kind, built.data.data() + other.offset, other.length);
      if (mayMarkLoop(other.kind, built.data.data() + other.offset))
        loopMarks.push_back(EventRef{t, index});
      ++index;
      continue;
    }
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(e.packed),
                                   static_cast<std::uint8_t>(e.packed >> 8),
                                   static_cast<std::uint8_t>(e.packed >> 16), 0};
    out.add(e.tick, kChannelEvent, bytes, 4);
    if (mayMarkLoop(kChannelEvent, bytes)) loopMarks.push_back(EventRef{t, index});
    ++index;
  }
  track.lengthMs = out.lastMs();
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
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    if (!storeTrack(tracks[t], table[t], t, ticksPerSecond, loopMarks)) return false;
    song->lengthMs = std::max(song->lengthMs, table[t].lengthMs);
  }
  return true;
}

}  // namespace quavr
