#include "song/durated_notes.h"

#include <algorithm>

namespace quavr {

void DuratedNotes::noteOn(BuiltTrack& track, std::uint32_t tick, std::uint8_t channel,
                          std::uint8_t key, std::uint8_t velocity, std::uint32_t duration) {
  channel &= 0x0F;
  key &= 0x7F;
  const auto index = static_cast<std::uint32_t>(track.events.size());
  std::int32_t& latest = sounding_[channel][key];
  if (latest >= 0) {
    PendingNoteOff& earlier = track.offs[latest];
    if (earlier.order >> 32 > tick) {
      const std::uint32_t cut = std::max(earlier.onTick, tick == 0 ? 0 : tick - 1);
      earlier.order = cut == earlier.onTick ? noteOffOrder(cut, 2ull * earlier.onIndex + 2)
                                            : noteOffOrder(cut, 0);
    }
  }
  track.channel(tick, static_cast<std::uint8_t>(0x90 | channel), key, velocity);
  const std::uint32_t end = tickAfter(tick, duration == 0 ? 1 : duration);
  latest = static_cast<std::int32_t>(track.offs.size());
  track.offs.push_back(PendingNoteOff{noteOffOrder(end, 0), tick, index, channel, key});
}

void DuratedNotes::finish(BuiltTrack& track, std::uint32_t endTick) {
  std::stable_sort(
      track.offs.begin(), track.offs.end(),
      [](const PendingNoteOff& a, const PendingNoteOff& b) { return a.order < b.order; });
  std::fill(&sounding_[0][0], &sounding_[0][0] + 16 * 128, -1);
  std::uint32_t last = track.events.empty() ? 0 : track.events.back().tick;
  if (!track.offs.empty())
    last = std::max(last, static_cast<std::uint32_t>(track.offs.back().order >> 32));
  track.endOfTrack(std::max(endTick, last));
}

}  // namespace quavr
