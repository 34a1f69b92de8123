#include "song/fixed_rate_tracks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quavr {

using namespace platform;

void TrackCounter::noteOn(std::uint32_t tick, std::uint8_t channel, std::uint8_t key, std::uint8_t,
                          std::uint32_t duration) {
  Sounding& latest = sounding_[channel & 0x0F][key & 0x7F];
  if (latest.note >= 0) {
    std::uint32_t& earlier = notes[static_cast<std::size_t>(latest.note)].offTick;
    if (earlier > tick) earlier = std::max(latest.onTick, tick == 0 ? 0 : tick - 1);
  }
  latest = Sounding{static_cast<std::int32_t>(notes.size()), tick};
  notes.push_back(Note{tickAfter(tick, duration == 0 ? 1 : duration),
                       static_cast<std::uint8_t>(0x80 | (channel & 0x0F)),
                       static_cast<std::uint8_t>(key & 0x7F)});
  add(4);
}

void TrackCounter::end(std::uint32_t tick) {
  endTick = tick;
  for (const Note& note : notes) endTick = std::max(endTick, note.offTick);
  events += notes.size() + 1;
  bytes += 4 * std::uint64_t{notes.size()} + 3;
}

void TrackWriter::noteOn(std::uint32_t tick, std::uint8_t channelNumber, std::uint8_t key,
                         std::uint8_t velocity, std::uint32_t) {
  channel(tick, static_cast<std::uint8_t>(0x90 | (channelNumber & 0x0F)), key & 0x7F, velocity);
  if (note_ >= counted_.notes.size()) return;
  const TrackCounter::Note& note = counted_.notes[note_];
  // Cut back to its own tick by a note on the same key: it ends right after it starts.
  if (note.offTick <= tick) {
    writeOff(tick, note);
  } else {
    pending_.push((std::uint64_t{note.offTick} << 32) | note_);
  }
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
  while (!pending_.empty() && pending_.top() >> 32 <= tick) {
    const std::uint64_t off = pending_.top();
    pending_.pop();
    writeOff(static_cast<std::uint32_t>(off >> 32), counted_.notes[off & 0xFFFFFFFFu]);
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
