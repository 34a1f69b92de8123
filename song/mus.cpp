// MUS: "MUS\x1A", then little-endian 16-bit fields (score length, score start, channel counts,
// instrument count) and the instrument list, which a General MIDI port does not need; the score is
// one track timed at 140 ticks per second. Each event is a descriptor byte (bit 7: a delay follows
// the event; bits 6-4 the type; bits 3-0 the channel), its data, and, when bit 7 was set, the delay
// as a variable-length quantity. MUS channel 15 is the percussion channel (MIDI channel 10); the
// others take MIDI channels in the order they are first used, skipping it.
#include <algorithm>
#include <cstring>

#include "include/quavr.h"
#include "song/fixed_rate_tracks.h"
#include "song/little_endian.h"
#include "song/song_format.h"
#include "song/track_events.h"

namespace quavr {

namespace {

constexpr std::uint32_t kTicksPerSecond = 140;
constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint8_t kPercussion = 9;

enum EventType : std::uint8_t {
  kRelease = 0,
  kPlay = 1,
  kPitch = 2,
  kSystem = 3,
  kController = 4,
  kMeasureEnd = 5,
  kScoreEnd = 6,
};

// MUS system events 10-14 and the controllers they become.
constexpr std::uint8_t kSystemControllers[5] = {120, 123, 126, 127, 121};
// MUS controllers 1-9 (0 is the program change).
constexpr std::uint8_t kControllers[10] = {0, 0, 1, 7, 10, 11, 91, 93, 64, 67};

std::uint8_t clamp7(std::uint8_t value) {
  return value > 127 ? 127 : value;
}

template <class Sink>
class Score {
 public:
  explicit Score(Sink& sink) : sink_(sink) { std::fill(std::begin(midi_), std::end(midi_), 0xFF); }

  // Reads events until the score ends, and ends the track there.
  void read(const std::uint8_t* at, const std::uint8_t* end) {
    sink_.expectBytes(static_cast<std::size_t>(end - at));
    while (at < end) {
      const std::uint8_t descriptor = *at++;
      const auto type = static_cast<std::uint8_t>((descriptor >> 4) & 7);
      const std::uint8_t channel = descriptor & 0x0F;
      const std::ptrdiff_t left = end - at;
      if (type == kScoreEnd || type > kMeasureEnd) break;  // an unknown type ends the score
      if (type == kPlay) {
        if (left < 1 || ((at[0] & 0x80) != 0 && left < 2)) break;
        if ((at[0] & 0x80) != 0) volume_[channel] = clamp7(at[1]);
        send(0x90, channel, at[0] & 0x7F, volume_[channel]);
        at += (at[0] & 0x80) != 0 ? 2 : 1;
      } else if (type == kController) {
        if (left < 2) break;
        control(channel, at[0], clamp7(at[1]));
        at += 2;
      } else if (type != kMeasureEnd) {
        if (left < 1) break;
        if (type == kRelease) send(0x80, channel, at[0] & 0x7F, 0);
        if (type == kPitch) send(0xE0, channel, (at[0] & 1) << 6, at[0] >> 1);  // ×64: 14 bits
        if (type == kSystem && at[0] >= 10 && at[0] <= 14)
          send(0xB0, channel, kSystemControllers[at[0] - 10], 0);
        ++at;
      }
      if ((descriptor & 0x80) != 0) {
        const VarLen delay = readShortVarLen(at, end);
        if (!delay.complete) break;
        tick_ = tickAfter(tick_, delay.value);
        at += delay.size;
      }
    }
    sink_.end(tick_);
  }

 private:
  void control(std::uint8_t channel, std::uint8_t controller, std::uint8_t value) {
    if (controller == 0) {
      send(0xC0, channel, value, 0);
    } else if (controller < 10) {
      send(0xB0, channel, kControllers[controller], value);
    }  // other numbers have no meaning: skipped
  }

  void send(std::uint8_t kind, std::uint8_t musChannel, int first, int second) {
    sink_.channel(tick_, static_cast<std::uint8_t>(kind | midiChannel(musChannel)),
                  static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second));
  }

  std::uint8_t midiChannel(std::uint8_t musChannel) {
    if (musChannel == 15) return kPercussion;
    if (midi_[musChannel] == 0xFF) {
      midi_[musChannel] = next_++;
      if (next_ == kPercussion) ++next_;
    }
    return midi_[musChannel];
  }

  Sink& sink_;
  std::uint32_t tick_ = 0;
  std::uint8_t midi_[15];
  std::uint8_t next_ = 0;
  // The first note of a channel that has had no volume plays at full volume.
  std::uint8_t volume_[16] = {127, 127, 127, 127, 127, 127, 127, 127,
                              127, 127, 127, 127, 127, 127, 127, 127};
};

bool recognise(const std::uint8_t* image, std::uint32_t size) {
  return size >= 4 && std::memcmp(image, "MUS\x1A", 4) == 0;
}

bool load(const LoadInput& in) {
  // The score runs to its end event: its stated length, 16 bits, cannot tell a score longer
  // than 64 KiB and is not needed.
  const std::uint32_t start = in.size >= kHeaderSize ? littleEndian(in.image + 6, 2) : in.size + 1;
  const std::uint32_t tracks = start <= in.size ? 1 : 0;
  return setFixedRate(in.song, QUAVR_FORMAT_MUS, kTicksPerSecond, kTicksPerSecond / 2) &&
         storeTracks(in.song, tracks, kTicksPerSecond, in.loopMarks,
                     [&](std::uint32_t, auto& sink) {
                       Score(sink).read(in.image + start, in.image + in.size);
                     });
}

}  // namespace

const SongFormat kMusFormat{recognise, load};

}  // namespace quavr
