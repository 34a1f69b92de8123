// HMP: "HMIMIDIP" (version 1, tracks from byte 0x308) or "HMIMIDIP013195" (version 2, tracks from
// 0x388). Little-endian 32-bit fields: the track count at 0x30, ticks per quarter note at 0x34
// and ticks per second at 0x38, which times the whole song. Each track is a 12-byte header (its
// number, its length including the header, its channel) and SMF events, except that each delay
// is a reversed variable-length quantity: 7-bit groups, least significant first, the last byte
// marked by bit 7.
#include <cstring>

#include "include/quavr.h"
#include "song/fixed_rate_tracks.h"
#include "song/little_endian.h"
#include "song/song_format.h"

namespace quavr {

namespace {

constexpr std::uint32_t kVersion1Tracks = 0x308;
constexpr std::uint32_t kVersion2Tracks = 0x388;
constexpr std::uint32_t kTrackHeader = 12;
// A header that gives no rate: the rate the format's own player runs at by default.
constexpr std::uint32_t kDefaultTicksPerSecond = 120;

// A reversed variable-length quantity; false when the image ends inside it. Bits past 64 are
// dropped, a value past 32 bits held at the largest tick by the caller.
bool readDelay(const std::uint8_t*& at, const std::uint8_t* end, std::uint64_t& value) {
  value = 0;
  for (unsigned shift = 0; at < end; shift += 7) {
    const std::uint8_t byte = *at++;
    if (shift < 64) value |= std::uint64_t{byte & 0x7Fu} << shift;
    if ((byte & 0x80) != 0) return true;
  }
  return false;
}

template <class Sink>
void readTrack(const std::uint8_t* at, const std::uint8_t* end, Sink& sink) {
  sink.expectBytes(static_cast<std::size_t>(end - at));
  std::uint32_t tick = 0;
  std::uint8_t runningStatus = 0;
  std::uint64_t delay;
  while (readDelay(at, end, delay)) {
    tick = tickAfter(tick, delay);
    if (end - at >= 2 && at[0] == 0xFF && at[1] == 0x2F) break;
    const std::uint32_t taken = smfEvent(sink, tick, at, end, runningStatus);
    if (taken == 0) break;
    at += taken;
  }
  sink.end(tick);
}

bool recognise(const std::uint8_t* image, std::uint32_t size) {
  return size >= 8 && std::memcmp(image, "HMIMIDIP", 8) == 0;
}

bool load(const LoadInput& in) {
  const bool version2 = in.size >= 14 && std::memcmp(in.image + 8, "013195", 6) == 0;
  const std::uint32_t first = version2 ? kVersion2Tracks : kVersion1Tracks;
  std::uint32_t rate = kDefaultTicksPerSecond;
  std::vector<ByteRange> tracks;
  if (in.size >= first) {
    const std::uint32_t count = littleEndian(in.image + 0x30, 4);
    if (littleEndian(in.image + 0x38, 4) != 0) rate = littleEndian(in.image + 0x38, 4);
    const std::uint8_t* end = in.image + in.size;
    const std::uint8_t* at = in.image + first;
    // Every track the header counts that the file holds: each takes 12 bytes or more.
    for (std::uint32_t t = 0; t < count && static_cast<std::size_t>(end - at) >= kTrackHeader;
         ++t) {
      const std::uint32_t length = littleEndian(at + 4, 4);
      if (length < kTrackHeader) break;
      const std::uint8_t* next = length > static_cast<std::uint64_t>(end - at) ? end : at + length;
      tracks.push_back(ByteRange{at + kTrackHeader, next});
      at = next;
    }
  }
  const std::uint32_t division = in.size >= first ? littleEndian(in.image + 0x34, 4) : 0;
  return setFixedRate(in.song, QUAVR_FORMAT_HMP, rate, division) &&
         storeTracks(
             in.song, static_cast<std::uint32_t>(tracks.size()), rate, in.loopMarks,
             [&](std::uint32_t t, auto& sink) { readTrack(tracks[t].begin, tracks[t].end, sink); });
}

}  // namespace

const SongFormat kHmpFormat{recognise, load};

}  // namespace quavr
