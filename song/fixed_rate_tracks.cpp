#include "song/fixed_rate_tracks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quavr {

using namespace platform;

void TrackCounter::noteOn(std::uint32_t tick, std::uint8_t channel, std::uint8_t key, std::uint8_t,
                          std::uint32_t duration) {
  std::int32_t& latest = sounding_[channel & 0x0F][key & 0x7F];
  if (latest >= 0) {
    Note& earlier = notes[static_cast<std::size_t>(latest)];
    if (earlier.offTick > tick)
      earlier.offTick = std::max(earlier.onTick, tick == 0 ? 0 : tick - 1);
  }
  latest = static_cast<std::int32_t>(notes.size());
  notes.push_back(Note{tick, tickAfter(tick, duration == 0 ? 1 : duration),
                       static_cast<std::uint8_t>(0x80 | (channel & 0x0F)),
                       static_cast<std::uint8_t>(key & 0x7F)});
  add(4);
}

namespace {

// Sorts by the high 32 bits, none above `top`, keeping the order of equal ones. The keys are the
// note-offs of notes in the order they start, so each lies near its place: a counting sort into
// about as many buckets as keys leaves a few in each, nearly in order, and the buckets' writes
// run almost in sequence.
void sortByHighWord(BlockVector<std::uint64_t>& keys, std::uint32_t top) {
  if (keys.size() < 2) return;
  unsigned shift = 0;
  while ((top >> shift) >= keys.size()) ++shift;
  const auto bucketOf = [shift](std::uint64_t key) { return (key >> 32) >> shift; };
  BlockVector<std::uint32_t> end((top >> shift) + 2);
  for (std::uint64_t key : keys) ++end[bucketOf(key) + 1];
  for (std::size_t b = 1; b < end.size(); ++b) end[b] += end[b - 1];
  BlockVector<std::uint64_t> sorted(keys.size());
  for (std::uint64_t key : keys) sorted[end[bucketOf(key)]++] = key;
  const auto earlier = [](std::uint64_t a, std::uint64_t b) { return a >> 32 < b >> 32; };
  std::uint64_t* const first = sorted.data();
  for (std::size_t b = 0, from = 0; from < keys.size(); from = end[b++]) {
    const std::size_t count = end[b] - from;
    if (count > 32) {
      std::stable_sort(first + from, first + end[b], earlier);
      continue;
    }
    for (std::size_t i = from + 1; i < end[b]; ++i) {  // insertion: a bucket holds few
      const std::uint64_t key = first[i];
      std::size_t j = i;
      for (; j > from && earlier(key, first[j - 1]); --j) first[j] = first[j - 1];
      first[j] = key;
    }
  }
  keys.swap(sorted);
}

}  // namespace

void TrackCounter::end(std::uint32_t tick) {
  endTick = tick;
  offOrder.reserve(notes.size());
  for (std::uint32_t k = 0; k < notes.size(); ++k) {
    endTick = std::max(endTick, notes[k].offTick);
    if (notes[k].offTick > notes[k].onTick)
      offOrder.push_back((std::uint64_t{notes[k].offTick} << 32) | (notes[k].status << 8) |
                         notes[k].key);
  }
  sortByHighWord(offOrder, endTick);
  events += notes.size() + 1;
  bytes += 4 * std::uint64_t{notes.size()} + 3;
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

bool sizeTrack(Track& track, const TrackCounter& counted) {
  // Beyond what a block of events can index: as a load past the memory there is.
  if (counted.bytes > 0xFFFFFFFFu || counted.events * sizeof(Event) > SIZE_MAX) return false;
  track.eventCount = static_cast<std::uint32_t>(counted.events);
  track.dataSize = static_cast<std::uint32_t>(counted.bytes);
  track.dataBlock = GlobalAlloc(GMEM_DDESHARE, track.dataSize);
  if (track.dataBlock == 0) return false;
  track.eventBlock = GlobalAlloc(GMEM_MOVEABLE, std::size_t{track.eventCount} * sizeof(Event));
  return track.eventBlock != 0;
}

}  // namespace quavr
