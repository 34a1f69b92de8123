// HMI: "HMI-MIDISONG061595". Little-endian fields: ticks per second at 0xD4 (16 bits), which times
// the whole song, the track count at 0xE4 (16 bits) and the offset of the track directory at
// 0xE8, a list of 32-bit track offsets. Each track begins with a header whose 32-bit field at
// 0x57 is the offset of its events from the track's start; the events are an SMF's, except that
// a note-on is followed by its duration as a variable-length quantity, and an 0xFE event is the
// format's own, of a length set by its type.
#include <algorithm>
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
    // Every track the directory names, up to the first the file does not hold.
    std::vector<std::uint64_t> starts;
    for (std::uint32_t t = 0; t < count; ++t) {
      const std::uint64_t at = directory + 4ull * t;
      const std::uint64_t start = at + 4 <= in.size ? littleEndian(in.image + at, 4) : in.size;
      if (start + kEventsField + 4 > in.size) break;
      starts.push_back(start);
    }
    // A track ends where the next in the file begins, the last at the file's end. A start listed
    // again names that track again, with nothing of its own: no byte is read for two tracks.
    std::vector<std::uint64_t> sorted = starts;
    std::sort(sorted.begin(), sorted.end());
    std::vector<bool> named(sorted.size());
    for (const std::uint64_t start : starts) {
      const auto at = std::lower_bound(sorted.begin(), sorted.end(), start);
      const auto next = std::upper_bound(at, sorted.end(), start);
      const bool again = named[static_cast<std::size_t>(at - sorted.begin())];
      named[static_cast<std::size_t>(at - sorted.begin())] = true;
      const std::uint64_t end = again ? start : next == sorted.end() ? in.size : *next;
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
