#include "song/fixed_rate_tracks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quavr {

using namespace platform;

namespace {

// Sorts by the high 32 bits, none above `top`, keeping the order of equal ones. The keys are the
// note-offs of notes in the order they start, so each lies near its place: a counting sort into
// about as many buckets as keys leaves a few in each, nearly in order, and its writes run almost
// in sequence. False when a block could not be made.
bool sortByHighWord(BlockArray<std::uint64_t>& keys, std::uint32_t top) {
  if (keys.size() < 2) return true;
  unsigned shift = 0;
  while ((top >> shift) >= keys.size()) ++shift;
  const auto bucketOf = [shift](std::uint64_t key) { return (key >> 32) >> shift; };
  BlockArray<std::uint32_t> end;
  BlockArray<std::uint64_t> sorted;
  if (!end.assignZeros((top >> shift) + 2) || sorted.extend(keys.size()) == nullptr) return false;
  for (std::uint64_t key : keys) ++end[bucketOf(key) + 1];
  for (std::size_t b = 1; b < end.size(); ++b) end[b] += end[b - 1];
  for (std::uint64_t key : keys) sorted[end[bucketOf(key)]++] = key;
  const auto earlier = [](std::uint64_t a, std::uint64_t b) { return a >> 32 < b >> 32; };
  std::uint64_t* const first = sorted.data();
  for (std::size_t b = 0, from = 0; from < keys.size(); from = end[b++]) {
    if (end[b] - from > 32) {  // a crowded bucket, as a crafted file may make
      std::stable_sort(first + from, first + end[b], earlier);
      continue;
    }
    for (std::size_t i = from + 1; i < end[b]; ++i) {
      const std::uint64_t key = first[i];
      std::size_t j = i;
      for (; j > from && earlier(key, first[j - 1]); --j) first[j] = first[j - 1];
      first[j] = key;
    }
  }
  keys.swap(sorted);
  return true;
}

// Writes a track's events into its blocks in order, timing each.
class EventWriter {
 public:
  EventWriter(Event* events, std::uint8_t* data, std::uint32_t ticksPerSecond)
      : events_(events), data_(data), ms_(ticksPerSecond) {}

  void put(std::uint32_t tick, std::uint32_t kind, const std::uint8_t* bytes, std::uint32_t size) {
    // One second is a quarter note of one million µs at `ticksPerSecond` ticks to it.
    if (count_ == 0 || tick != lastTick_) lastMs_ = ms_(std::uint64_t{tick} * 1000000);
    lastTick_ = tick;
    events_[count_++] = Event{tick, lastMs_, kind, written_, size};
    if (size == 4) {  // a channel message: a copy of known size, done inline
      std::memcpy(data_ + written_, bytes, 4);
    } else {
      std::memcpy(data_ + written_, bytes, size);
    }
    written_ += size;
  }
  // A note-off packed as the sort keys hold it: tick, status, key.
  void putOff(std::uint64_t off) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(off >> 8),
                                   static_cast<std::uint8_t>(off), 0, 0};
    put(static_cast<std::uint32_t>(off >> 32), kChannelEvent, bytes, 4);
  }
  std::uint32_t count() const { return count_; }
  std::uint32_t lastTick() const { return lastTick_; }
  std::uint32_t lastMs() const { return lastMs_; }

 private:
  Event* events_;
  std::uint8_t* data_;
  TrackClock::MsDivider ms_;
  std::uint32_t written_ = 0, count_ = 0, lastTick_ = 0, lastMs_ = 0;
};

}  // namespace

bool TrackBuilder::store(Track& track, std::uint32_t ticksPerSecond, std::uint32_t index,
                         std::vector<EventRef>& loopMarks) {
  if (tooLarge_ || events_.failed() || data_.failed() || notes_.failed()) return false;
  // The note-offs after their note's own tick go in the merge, sorted; one cut back to its own
  // tick by a later note on its key goes right after its note-on (`atOnset`: event, status, key).
  BlockArray<std::uint64_t> offs, atOnset;
  if (!offs.reserve(notes_.size())) return false;
  std::uint32_t endTick = endTick_;
  for (const Note& note : notes_) {
    endTick = std::max(endTick, note.offTick);
    const std::uint64_t sound = (std::uint32_t{note.status} << 8) | note.key;
    if (!(note.offTick > note.onTick
              ? offs.push_back((std::uint64_t{note.offTick} << 32) | sound)
              : atOnset.push_back((std::uint64_t{note.event} << 16) | sound)))
      return false;
  }
  if (!sortByHighWord(offs, endTick)) return false;

  const std::uint64_t eventCount = events_.size() + std::uint64_t{notes_.size()} + 1;
  const std::uint64_t dataSize = data_.size() + 4 * std::uint64_t{notes_.size()} + 3;
  // Beyond what a block of events can index: as a load past the memory there is.
  if (dataSize > 0xFFFFFFFFu || eventCount > 0xFFFFFFFFu || eventCount > SIZE_MAX / sizeof(Event))
    return false;
  track.eventCount = static_cast<std::uint32_t>(eventCount);
  track.dataSize = static_cast<std::uint32_t>(dataSize);
  track.dataBlock = GlobalAlloc(GMEM_DDESHARE, track.dataSize);
  if (track.dataBlock == 0) return false;
  track.eventBlock = GlobalAlloc(GMEM_MOVEABLE, std::size_t{track.eventCount} * sizeof(Event));
  if (track.eventBlock == 0) return false;
  Resolved<std::uint8_t> data(track.dataBlock);
  Resolved<Event> events(track.eventBlock);
  if (!data || !events) return false;

  EventWriter out(events.get(), data.get(), ticksPerSecond);
  std::size_t nextOff = 0, nextAtOnset = 0;
  for (std::uint32_t i = 0; i < events_.size(); ++i) {
    const Event& event = events_[i];
    for (; nextOff < offs.size() && offs[nextOff] >> 32 <= event.tick; ++nextOff)
      out.putOff(offs[nextOff]);
    const std::uint8_t* bytes = data_.data() + event.offset;
    if (mayMarkLoop(event.kind, bytes)) loopMarks.push_back(EventRef{index, out.count()});
    out.put(event.tick, event.kind, bytes, event.length);
    for (; nextAtOnset < atOnset.size() && atOnset[nextAtOnset] >> 16 == i; ++nextAtOnset)
      out.putOff((std::uint64_t{event.tick} << 32) | (atOnset[nextAtOnset] & 0xFFFF));
  }
  for (; nextOff < offs.size(); ++nextOff) out.putOff(offs[nextOff]);
  static constexpr std::uint8_t kEnd[] = {0xFF, 0x2F, 0x00};
  out.put(std::max(endTick, out.lastTick()), kMetaEvent, kEnd, 3);
  track.lengthMs = out.lastMs();
  return true;
}

bool setFixedRate(HGLOBAL songHandle, std::uint32_t format, std::uint32_t ticksPerSecond,
                  std::uint32_t division) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  song->format = format;
  song->tickRate = ticksPerSecond;
  song->division = division;
  return true;
}

bool makeTrackTable(HGLOBAL songHandle, std::uint32_t trackCount) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  song->trackCount = trackCount;
  song->trackTable = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, trackCount * sizeof(Track));
  return song->trackTable != 0;
}

}  // namespace quavr
