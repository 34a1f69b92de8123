#include "playback/musical_clock.h"

#include <algorithm>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/queued_actions.h"
#include "playback/render_device.h"
#include "song/musical_time.h"

namespace quavr {

std::uint32_t unplayedMs(const MidiDevice& device) {
  const std::uint32_t played = load(device.unplayedMs);
  return isRenderDevice(device) ? std::max(played, renderUnplayedMs(device)) : played;
}

void positionMoved(MidiDevice& device, std::uint32_t ms) {
  store(device.unplayedMs, ms);
  store(device.moves, load(device.moves) + 1);
  const SongGrid grid(*load(device.song));
  device.nextBeatMs = grid.nextAt(GridUnit::Beat, 1, ms);
  device.nextBarMs = grid.nextAt(GridUnit::Bar, 1, ms);
  findBoundaries(device, ms);
}

void flagBeats(MidiDevice& device, std::uint32_t clockMs) {
  const SongGrid grid(*load(device.song));
  std::uint32_t events = QUAVR_EVENT_BEAT;
  const bool last = clockMs == kNoTime;  // nothing comes after the clock's last ms
  if (clockMs >= device.nextBarMs) {
    events |= QUAVR_EVENT_BAR;
    device.nextBarMs = last ? kNoLoop : grid.nextAt(GridUnit::Bar, 1, clockMs + 1);
  }
  device.nextBeatMs = last ? kNoLoop : grid.nextAt(GridUnit::Beat, 1, clockMs + 1);
  store(device.events, load(device.events) | events);
}

std::uint32_t musicalPlayInfo(const MidiDevice& device, std::uint32_t what,
                              std::uint32_t positionMs) {
  const SongGrid grid(*load(device.song));
  if (!grid) return QUAVR_NONE;
  if (what == QUAVR_PLAY_BAR_BEAT) return packBarBeat(grid.placeOf(positionMs));
  // As far as a boundary a queued action would take now.
  const GridUnit unit = what == QUAVR_PLAY_TO_NEXT_BAR ? GridUnit::Bar : GridUnit::Beat;
  const std::uint32_t next = grid.nextAt(unit, 1, unplayedMs(device));
  if (next == kNoTime) return QUAVR_NONE;
  return next > positionMs ? next - positionMs : 0;
}

}  // namespace quavr
