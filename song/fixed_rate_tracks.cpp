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

// Sorts by the high 32 bits, keeping the order of equal ones: a radix sort, 11 bits a pass, that
// skips the passes whose digit all keys share (the high bits of a song's ticks mostly).
void sortByHighWord(std::vector<std::uint64_t>& keys) {
  std::vector<std::uint64_t> sorted(keys.size());
  for (unsigned shift = 32; shift < 64; shift += 11) {
    std::uint32_t start[2049] = {};
    for (std::uint64_t key : keys) ++start[((key >> shift) & 2047) + 1];
    if (keys.empty() || start[((keys[0] >> shift) & 2047) + 1] == keys.size()) continue;
    for (std::size_t d = 1; d <= 2048; ++d) start[d] += start[d - 1];
    for (std::uint64_t key : keys) sorted[start[(key >> shift) & 2047]++] = key;
    keys.swap(sorted);
  }
}

}  // namespace

void TrackCounter::end(std::uint32_t tick) {
  endTick = tick;
  offOrder.reserve(notes.size());
  for (std::uint32_t k = 0; k < notes.size(); ++k) {
    endTick = std::max(endTick, notes[k].offTick);
    if (notes[k].offTick > notes[k].onTick)
      offOrder.push_back((std::uint64_t{notes[k].offTick} << 32) | k);
  }
  sortByHighWord(offOrder);
  events += notes.size() + 1;
  bytes += 4 * std::uint64_t{notes.size()} + 3;
}

void TrackWriter::noteOn(std::uint32_t tick, std::uint8_t channelNumber, std::uint8_t key,
                         std::uint8_t velocity, std::uint32_t) {
  channel(tick, static_cast<std::uint8_t>(0x90 | (channelNumber & 0x0F)), key & 0x7F, velocity);
  if (note_ >= counted_.notes.size()) return;
  const TrackCounter::Note& note = counted_.notes[note_];
  // Cut back to its own tick by a note on the same key: it ends right after it starts.
  if (note.offTick <= tick) writeOff(tick, note);
  ++note_;
}

void TrackWriter::smf(std::uint32_t tick, const std::uint8_t* at, const EventShape& shape) {
  offsBefore(tick);
  std::uint8_t* out = place(tick, shape.kind, shape.expanded);
  if (out == nullptr) return;
  writeEvent(at, shape, out);
  if (mayMarkLoop(shape.kind, out)) loopMarks_.push_back(EventRef{track_, count_ - 1});
}

void TrackWriter::end(std::uint32_t) {
  offsBefore(0xFFFFFFFFu);
  static constexpr std::uint8_t kEnd[] = {0xFF, 0x2F, 0x00};
  write(std::max(counted_.endTick, lastTick_), kMetaEvent, kEnd, 3);
}

void TrackWriter::offsBefore(std::uint32_t tick) {
  const std::vector<std::uint64_t>& order = counted_.offOrder;
  for (; nextOff_ < order.size() && order[nextOff_] >> 32 <= tick; ++nextOff_) {
    writeOff(static_cast<std::uint32_t>(order[nextOff_] >> 32),
             counted_.notes[order[nextOff_] & 0xFFFFFFFFu]);
  }
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
