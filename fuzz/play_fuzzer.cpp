// Any bytes as a song, played to the end on the fake platform: ticks fired by hand (a bounded
// number), long messages completed in an order the input chooses, pauses, repeats and loop
// jumps along the way. Afterwards every block is freed.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz/song_invariants.h"
#include "playback/device.h"
#include "tests/fake/fake_platform.h"

namespace {

using namespace quavr;

bool tick(QuavrDevice device) {
  Resolved<MidiDevice> d(device);
  const std::uint32_t timer = d ? d->timerId : 0;
  const bool playing = d && d->state == Playing;
  d.reset();
  return playing && fake::fireTimer(timer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  fake::reset();
  const auto period = input.ConsumeIntegralInRange<std::uint32_t>(0, 200);
  const bool repeat = input.ConsumeBool();
  const auto choices = input.ConsumeIntegral<std::uint64_t>();
  const std::vector<std::uint8_t> file = input.ConsumeRemainingBytes<std::uint8_t>();
  fake::addFile("song.mid", file);

  const QuavrDevice device = bgmOpenMidiDev(0, period);
  FUZZ_CHECK(device != 0);
  const QuavrSong song = bgmGetSongFile("song.mid");
  // The loop conventions from the top bits of the choices; the loop count forever, none, or as
  // the file says.
  bgmSetLoopStyle(song, static_cast<std::uint32_t>(choices >> 57));
  bgmSetRepeat(device, repeat ? 1 : 0);
  if (!repeat && (choices & 2) != 0) bgmSetLoopCount(device, QUAVR_LOOP_AS_FILE);
  FUZZ_CHECK(bgmPlay(device, song) == Idle);
  // The grid of whatever the file holds: bars, beats, meters, anywhere.
  for (std::uint32_t what = QUAVR_INFO_BARS; what <= QUAVR_INFO_METER_BAR; ++what)
    bgmGetSongInfo(song, what, static_cast<std::uint32_t>(choices >> 8) % 4096);
  std::uint64_t chooser = choices | 1;
  for (int n = 0; n < 3000 && bgmBgmStatus(device) != Idle; ++n) {
    chooser = chooser * 6364136223846793005ull + 1442695040888963407ull;
    const unsigned choice = static_cast<unsigned>(chooser >> 59);
    if (choice == 0) bgmPause(device);  // pause, or resume a paused device
    // A seek anywhere up to a minute, past the end too: the chase walks whatever the file holds.
    if (choice == 1) bgmSeek(device, static_cast<std::uint32_t>(chooser >> 16) % 60000);
    // Queued jumps and restarts at boundaries of every kind (unknown ones too), and the position.
    const auto when = static_cast<std::uint32_t>(chooser >> 24) & 0x0003FF07u;
    if (choice == 2)
      bgmQueueJump(device, when, static_cast<std::uint32_t>(chooser >> 8) % 60000, 1);
    if (choice == 3)
      bgmQueueSong(device, song, when, QUAVR_NONE, static_cast<std::uint32_t>(chooser & 1));
    if (choice == 4)
      bgmGetPlayInfo(device, QUAVR_PLAY_BAR_BEAT + static_cast<std::uint32_t>(chooser >> 40) % 3);
    if (bgmBgmStatus(device) == Playing) tick(device);
    const auto queued = fake::queuedHeaders();
    if (queued.size() > 64) {
      // A port completes in time; an endless queue only slows the run.
      fake::completeAllLongMessages();
    } else if (!queued.empty() && (choice & 1)) {
      fake::completeLongMessage(queued[(chooser >> 32) % queued.size()]);
    }
    const std::int32_t state = bgmBgmStatus(device);
    FUZZ_CHECK(state == Idle || state == Ready || state == Playing || state == Paused);
  }
  bgmStop(device);
  fake::completeAllLongMessages();
  FUZZ_CHECK(bgmCloseMidiDev(device) == 0);
  if (song != 0) FUZZ_CHECK(bgmDeleteSong(song) == 0);
  FUZZ_CHECK(fake::liveBlocks() == 0);
  return 0;
}
