#include "song/track_expansion.h"

#include "interface/block.h"
#include "song/track_events.h"

namespace quavr {

using namespace platform;

namespace {
constexpr std::uint32_t kHeaderChunkSize = 14;
constexpr std::uint32_t kChunkHeaderSize = 8;

std::uint32_t chunkLength(const std::uint8_t* chunk) {
  return (std::uint32_t{chunk[4]} << 24) | (std::uint32_t{chunk[5]} << 16) |
         (std::uint32_t{chunk[6]} << 8) | chunk[7];
}
}  // namespace

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
  track.data = const_cast<std::uint8_t*>(at);
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

bool expandSong(HGLOBAL songHandle, HGLOBAL imageHandle, std::uint32_t imageSize) {
  Resolved<Song> song(songHandle);
  Resolved<std::uint8_t> image(imageHandle);
  if (!song || !image) return false;
  if (song->trackTable == 0 || song->trackCount == 0) return true;
  Resolved<Track> tracks(song->trackTable);
  if (!tracks) return false;
  const std::uint8_t* imageEnd = image.get() + imageSize;
  std::uint64_t chunk = kHeaderChunkSize;
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    Track& track = tracks[t];
    track.dataBlock = GlobalAlloc(GMEM_DDESHARE | GMEM_ZEROINIT, track.dataSize);
    if (track.dataBlock == 0) return false;
    track.eventBlock =
        GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, std::size_t{track.eventCount} * sizeof(Event));
    if (track.eventBlock == 0) return false;
    const std::uint64_t start = chunk;
    chunk += kChunkHeaderSize + std::uint64_t{chunkLength(image.get() + chunk)};
    if (track.eventCount == 0) continue;
    Resolved<std::uint8_t> data(track.dataBlock);
    Resolved<Event> events(track.eventBlock);
    if (!data || !events) return false;
    expandTrack(track, data.get(), events.get(), image.get() + start + kChunkHeaderSize, imageEnd);
  }
  return true;
}

}  // namespace quavr
