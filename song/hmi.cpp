// HMI: "HMI-MIDISONG061595". Little-endian fields: ticks per second at 0xD4 (16 bits), which times
// the whole song, the track count at 0xE4 (16 bits) and the offset of the track directory at
// 0xE8, a list of 32-bit track offsets. Each track begins with a header whose 32-bit field at
// 0x57 is the offset of its events from the track's start; the events are an SMF's, except that
// a note-on is followed by its duration as a variable-length quantity, and an 0xFE event is the
// format's own, of a length set by its type.
#include <cstring>

#include "include/quavr.h"
#include "platform/common/midi_message.h"
#include "song/fixed_rate_tracks.h"
#include "song/little_endian.h"
#include "song/song_format.h"
#include "song/track_events.h"

namespace quavr {

namespace {

constexpr char kMagic[] = "HMI-MIDISONG061595";
constexpr std::uint32_t kHeaderSize = 0xEC;
constexpr std::uint32_t kEventsField = 0x57;
constexpr std::uint32_t kMaxTracks = 128;
constexpr std::uint32_t kDefaultTicksPerSecond = 120;

// The bytes an 0xFE event takes, or 0 when it does not fit before `end`.
std::uint32_t formatEventLength(const std::uint8_t* at, const std::uint8_t* end) {
  if (end - at < 5) return 0;
  std::uint32_t length = 4;
  if (at[1] == 0x10) length += 5 + at[4];
  if (at[1] == 0x15) length += 4;
  return length <= static_cast<std::uint64_t>(end - at) ? length : 0;
}

template <class Sink>
void readTrack(const std::uint8_t* at, const std::uint8_t* end, Sink& sink) {
  std::uint32_t tick = 0;
  std::uint8_t runningStatus = 0;
  sink.expectBytes(static_cast<std::size_t>(end - at));
  while (at < end) {
    const VarLen delay = readShortVarLen(at, end);
    if (!delay.complete) break;
    at += delay.size;
    tick = tickAfter(tick, delay.value);
    if (at >= end || (end - at >= 2 && at[0] == 0xFF && at[1] == 0x2F)) break;
    if (at[0] == 0xFE) {
      const std::uint32_t length = formatEventLength(at, end);
      if (length == 0) break;
      at += length;
      continue;
    }
    if (at[0] >= 0xF0) {
      const std::uint32_t taken = smfEvent(sink, tick, at, end, runningStatus);
      if (taken == 0) break;
      at += taken;
      continue;
    }
    if (at[0] >= 0x80) runningStatus = *at++;
    if (runningStatus == 0) break;  // data bytes before any status
    if ((runningStatus & 0xF0) == 0x90) {
      const std::uint32_t taken = duratedNoteOn(sink, tick, runningStatus, at, end);
      if (taken == 0) break;
      at += taken;
      continue;
    }
    const std::uint32_t data = platform::midiMessageLength(runningStatus) - 1;
    if (static_cast<std::uint64_t>(end - at) < data) break;
    sink.channel(tick, runningStatus, at[0], data == 2 ? at[1] : 0);
    at += data;
  }
  sink.end(tick);
}

bool recognise(const std::uint8_t* image, std::uint32_t size) {
  return size >= sizeof kMagic - 1 && std::memcmp(image, kMagic, sizeof kMagic - 1) == 0;
}

bool load(const LoadInput& in) {
  std::uint32_t rate = kDefaultTicksPerSecond;
  std::vector<ByteRange> tracks;
  if (in.size >= kHeaderSize) {
    if (littleEndian(in.image + 0xD4, 2) != 0) rate = littleEndian(in.image + 0xD4, 2);
    const std::uint32_t count = littleEndian(in.image + 0xE4, 2);
    const std::uint64_t directory = littleEndian(in.image + 0xE8, 4);
    const auto offsetOf = [&](std::uint32_t t) -> std::uint64_t {
      const std::uint64_t at = directory + 4ull * t;
      return at + 4 <= in.size ? littleEndian(in.image + at, 4) : in.size;
    };
    for (std::uint32_t t = 0; t < count && t < kMaxTracks; ++t) {
      const std::uint64_t start = offsetOf(t);
      if (start + kEventsField + 4 > in.size) break;
      // A track ends where the next begins, the last at the end of the file.
      const std::uint64_t next = t + 1 < count ? offsetOf(t + 1) : in.size;
      const std::uint64_t end = next > start && next <= in.size ? next : in.size;
      const std::uint64_t events = start + littleEndian(in.image + start + kEventsField, 4);
      const std::uint64_t begin = events < end ? events : end;
      tracks.push_back(ByteRange{in.image + begin, in.image + end});
    }
  }
  return setFixedRate(in.song, QUAVR_FORMAT_HMI, rate, rate / 2) &&
         storeTracks(
             in.song, static_cast<std::uint32_t>(tracks.size()), rate, in.loopMarks,
             [&](std::uint32_t t, auto& sink) { readTrack(tracks[t].begin, tracks[t].end, sink); });
}

}  // namespace

const SongFormat kHmiFormat{recognise, load};

}  // namespace quavr
