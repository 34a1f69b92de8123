#include "song/durated_notes.h"

#include <algorithm>

namespace quavr {

namespace {

constexpr std::uint8_t kNoteOff = 0x80;

// Events of one tick: note-offs first (0), then the track's own events in their order (odd),
// except a note-off cut back to its own note-on's tick, which goes right after that note-on.
std::uint64_t orderOf(std::uint32_t tick, std::uint64_t place) {
  return (std::uint64_t{tick} << 32) | place;
}

}  // namespace

void DuratedNotes::noteOn(BuiltTrack& track, std::uint32_t tick, std::uint8_t channel,
                          std::uint8_t key, std::uint8_t velocity, std::uint32_t duration) {
  channel &= 0x0F;
  key &= 0x7F;
  const auto index = static_cast<std::uint32_t>(track.events.size());
  std::int32_t& latest = sounding_[channel][key];
  if (latest >= 0) {
    NoteOff& earlier = offs_[latest];
    if (earlier.order >> 32 > tick) {
      const std::uint32_t cut = std::max(earlier.onTick, tick == 0 ? 0 : tick - 1);
      earlier.order =
          cut == earlier.onTick ? orderOf(cut, 2ull * earlier.onIndex + 2) : orderOf(cut, 0);
    }
  }
  track.channel(tick, static_cast<std::uint8_t>(0x90 | channel), key, velocity);
  const std::uint32_t end = tickAfter(tick, duration == 0 ? 1 : duration);
  latest = static_cast<std::int32_t>(offs_.size());
  offs_.push_back(NoteOff{orderOf(end, 0), tick, index, channel, key});
}

void DuratedNotes::finish(BuiltTrack& track, std::uint32_t endTick) {
  std::stable_sort(offs_.begin(), offs_.end(),
                   [](const NoteOff& a, const NoteOff& b) { return a.order < b.order; });
  std::vector<Event> merged;
  merged.reserve(track.events.size() + offs_.size() + 1);
  std::size_t next = 0;
  for (std::uint32_t i = 0; i <= track.events.size(); ++i) {
    const std::uint64_t place =
        i < track.events.size() ? orderOf(track.events[i].tick, 2ull * i + 1) : ~0ull;
    for (; next < offs_.size() && offs_[next].order < place; ++next) {
      const NoteOff& off = offs_[next];
      const auto offset = static_cast<std::uint32_t>(track.data.size());
      track.data.insert(track.data.end(),
                        {static_cast<std::uint8_t>(kNoteOff | off.channel), off.key, 0, 0});
      merged.push_back(
          Event{static_cast<std::uint32_t>(off.order >> 32), 0, kChannelEvent, offset, 4});
    }
    if (i < track.events.size()) merged.push_back(track.events[i]);
  }
  track.events = std::move(merged);
  offs_.clear();
  std::fill(&sounding_[0][0], &sounding_[0][0] + 16 * 128, -1);
  const std::uint32_t last = track.events.empty() ? 0 : track.events.back().tick;
  track.endOfTrack(std::max(endTick, last));
}

}  // namespace quavr
