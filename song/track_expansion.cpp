#include "song/track_expansion.h"

#include "base/block.h"
#include "song/track_events.h"

namespace quavr {

using namespace platform;

std::uint32_t measureTrack(Track& track, std::uint32_t chunkLength, const std::uint8_t* imageEnd) {
  std::uint64_t consumed = 0;
  std::uint64_t dataSize = 0;
  std::uint32_t eventCount = 0;
  std::uint8_t runningStatus = 0;
  const std::uint8_t* at = track.data;
  while (consumed < chunkLength) {
    VarLen delta;
    EventShape shape;
    if (!nextEvent(at, imageEnd, runningStatus, delta, shape)) break;
    if (dataSize + shape.expanded > 0xFFFFFFFFu || eventCount == 0xFFFFFFFFu) break;
    at += delta.size + shape.taken;
    consumed += delta.size + shape.taken;
    dataSize += shape.expanded;
    ++eventCount;
  }
  track.eventCount = eventCount;
  track.dataSize = static_cast<std::uint32_t>(dataSize);
  return track.dataSize;
}

std::uint32_t expandTrack(const Track& track, std::uint8_t* data, Event* events,
                          const std::uint8_t* source, const std::uint8_t* imageEnd) {
  std::uint32_t written = 0;
  std::uint32_t tick = 0;
  std::uint8_t runningStatus = 0;
  for (std::uint32_t i = 0; i < track.eventCount; ++i) {
    VarLen delta;
    EventShape shape;
    // The sizing pass walked these very bytes, so every event measured there fits here.
    if (!nextEvent(source, imageEnd, runningStatus, delta, shape)) break;
    source += delta.size;
    tick += delta.value;
    events[i] = Event{tick, 0, shape.kind, written, shape.expanded};
    writeEvent(source, shape, data + written);
    source += shape.taken;
    written += shape.expanded;
  }
  return written;
}

bool expandSong(HGLOBAL songHandle, const std::uint8_t* imageEnd) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  if (song->trackTable == 0 || song->trackCount == 0) return true;
  Resolved<Track> tracks(song->trackTable);
  if (!tracks) return false;
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    Track& track = tracks[t];
    track.dataBlock = GlobalAlloc(GMEM_DDESHARE | GMEM_ZEROINIT, track.dataSize);
    if (track.dataBlock == 0) return false;
    track.eventBlock =
        GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, std::size_t{track.eventCount} * sizeof(Event));
    if (track.eventBlock == 0) return false;
    if (track.eventCount == 0) continue;
    Resolved<std::uint8_t> data(track.dataBlock);
    Resolved<Event> events(track.eventBlock);
    if (!data || !events) return false;
    expandTrack(track, data.get(), events.get(), track.data, imageEnd);
  }
  return true;
}

}  // namespace quavr
