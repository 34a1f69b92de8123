// Render devices on the fake platform: each event at the frame of its song time, output that does
// not depend on how the host cuts its buffers, loops and the end inside a block, the formats,
// no allocation while rendering, and what is refused.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

#include "platform/common/reset_messages.h"
#include "tests/core/playback_fixture.h"
#include "tests/core/sink_log.h"

// Counts the allocations the render path makes while a test asks.
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

// Every unaligned form, both halves on malloc, so that any pair matches under the sanitizers too.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
void* counted(std::size_t size) noexcept {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  return std::malloc(size == 0 ? 1 : size);
}
void* countedOrThrow(std::size_t size) {
  if (void* p = counted(size)) return p;
  throw std::bad_alloc();
}
}  // namespace
void* operator new(std::size_t size) {
  return countedOrThrow(size);
}
void* operator new[](std::size_t size) {
  return countedOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return counted(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return counted(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace quavr::test {
namespace {

// The song events the sink saw, in order: notes and controllers 1-119 (the song's own; the
// device's resets and chases use 120 and up or come as a burst the tests skip by time).
std::vector<SinkEntry> songNotes(const std::vector<SinkEntry>& entries) {
  std::vector<SinkEntry> notes;
  for (const SinkEntry& e : entries) {
    if ((e.bytes[0] & 0xE0) == 0x80) notes.push_back(e);  // note on and off
  }
  return notes;
}

class RenderTest : public PlaybackTest {
 protected:
  QuavrDevice openRender(std::uint32_t rate, const char* soundfont = "") {
    const QuavrDevice device = bgmOpenRenderDev(rate, soundfont);
    EXPECT_NE(device, 0u);
    devices_.push_back(device);
    return device;
  }

  // Renders `frames` frames in one call, keeping the sink's frames absolute.
  std::int32_t renderCall(QuavrDevice device, SinkLog& log, void* out, std::uint32_t frames,
                          std::uint32_t format = QUAVR_RENDER_F32) {
    const std::int32_t n = bgmRender(device, out, frames, format);
    log.callStart += frames;
    return n;
  }

  // The song's note events with their times, in the order the sequencer sends them.
  static std::vector<std::pair<std::uint32_t, Bytes>> songEvents(QuavrSong song) {
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, Bytes>> all;
    const SongCopy copy = inspect(song);
    for (std::uint32_t t = 0; t < copy.tracks.size(); ++t) {
      std::uint32_t i = 0;
      for (const EventCopy& e : copy.tracks[t].events) {
        if ((e.bytes[0] & 0xE0) == 0x80) {
          all.emplace_back(e.timeMs, t, i, Bytes(e.bytes.begin(), e.bytes.begin() + 3));
        }
        ++i;
      }
    }
    std::sort(all.begin(), all.end());
    std::vector<std::pair<std::uint32_t, Bytes>> out;
    for (auto& [time, track, index, bytes] : all) out.emplace_back(time, bytes);
    return out;
  }
};

// A song whose tempo changes every few ticks to an odd value, with notes on two tracks at odd
// deltas: event times that are no round number of frames at any rate.
Bytes denseTempoSong(std::mt19937& random, int notes) {
  TrackWriter tempos;
  TrackWriter a;
  TrackWriter b;
  for (int i = 0; i < notes; ++i) {
    tempos.tempo(static_cast<std::uint32_t>(random() % 7), 200000 + random() % 700001);
    a.note(static_cast<std::uint32_t>(1 + random() % 13), 0, 60 + i % 12, 100);
    a.note(static_cast<std::uint32_t>(random() % 9), 0, 60 + i % 12, 0);
    b.note(static_cast<std::uint32_t>(1 + random() % 17), 1, 40 + i % 12, 90);
    b.note(static_cast<std::uint32_t>(random() % 5), 1, 40 + i % 12, 0);
  }
  return smf(97, {tempos.end(), a.end(), b.end()});
}

// Every event lands on frame ⌊t × rate / tempo⌋ of its song time, for several rates and tempos,
// in calls of random sizes, and after a seek it lands on the seek's frame plus its time since
// the target, scaled the same way.
TEST_F(RenderTest, EveryEventLandsOnTheFrameOfItsSongTime) {
  std::mt19937 random(19);
  for (const std::uint32_t rate : {8000u, 44100u, 48000u, 192000u}) {
    for (const std::uint32_t tempo : {1000u, 997u, 2000u}) {
      SCOPED_TRACE(testing::Message() << "rate " << rate << " tempo " << tempo);
      const QuavrSong s = loadBytes(denseTempoSong(random, 60), "dense.mid");
      const auto expected = songEvents(s);
      const QuavrDevice d = openRender(rate);
      SinkLog log;
      bgmSetMessageSink(d, logMessage, &log);
      bgmSetTempo(d, tempo);
      bgmPlay(d, s);
      // Half the song in calls of random size, a seek into the rest, then the rest.
      const std::uint32_t seekTo = expected[expected.size() / 2].first - 1;
      const std::uint64_t firstHalf = std::uint64_t{seekTo / 2} * rate / tempo;
      while (log.callStart < firstHalf) {
        renderCall(d, log, nullptr, 1 + static_cast<std::uint32_t>(random() % 3000), 0);
      }
      const std::uint64_t seekFrame = log.callStart;
      ASSERT_EQ(bgmSeek(d, seekTo), 0);
      while (bgmBgmStatus(d) == Playing) {
        renderCall(d, log, nullptr, 1 + static_cast<std::uint32_t>(random() % 3000), 0);
      }
      // Before the seek: what was due before its frame; after: the seek's frame plus the time
      // since the target.
      std::vector<SinkEntry> want;
      for (const auto& [t, bytes] : expected) {
        if (t >= seekTo) {
          want.push_back({seekFrame + std::uint64_t{t - seekTo} * rate / tempo, bytes});
        } else if (const std::uint64_t frame = std::uint64_t{t} * rate / tempo; frame < seekFrame) {
          want.push_back({frame, bytes});
        }
      }
      EXPECT_EQ(songNotes(log.entries), want);
      bgmStop(d);
      bgmDeleteSong(s);
    }
  }
}

// An hour at tempo 997 on a messages-only device: the last event's frame is the exact one.
TEST_F(RenderTest, AnHourDoesNotDrift) {
  TrackWriter t;
  t.tempo(0, 499999);  // 1 tick = 0.999998 ms at division 500
  for (int i = 0; i < 36; ++i) t.note(100000, 0, 60, 100).note(1, 0, 60, 0);
  const QuavrSong s = song({t.end()});
  const auto expected = songEvents(s);
  ASSERT_GT(expected.back().first, 3600000u);
  const QuavrDevice d = openRender(48000);
  SinkLog log;
  bgmSetMessageSink(d, logMessage, &log);
  bgmSetTempo(d, 997);
  bgmPlay(d, s);
  while (bgmBgmStatus(d) == Playing) renderCall(d, log, nullptr, 48000 * 60 - 7, 0);
  const auto heard = songNotes(log.entries);
  ASSERT_EQ(heard.size(), expected.size());
  EXPECT_EQ(heard.back().frame, std::uint64_t{expected.back().first} * 48000 / 997);
}

// The same frames rendered in one call, in 1-frame calls and in calls of random sizes give the
// same audio, byte for byte, and the same messages at the same frames, with a loop whose end
// falls inside blocks, host calls (tempo, seek, volume, pause, fade) at fixed frames, and the
// end. The fade steps from frame 0 of the render after it, on a frame of its own each ms.
TEST_F(RenderTest, OutputDoesNotDependOnHowTheHostCutsItsBuffers) {
  TrackWriter t;
  t.program(0, 0, 5).raw(0, {0xB0, 7, 90}).sysex(3, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
  for (int i = 0; i < 40; ++i) {
    t.note(static_cast<std::uint32_t>(7 + i % 11), 0, static_cast<std::uint8_t>(50 + i % 20), 100);
    t.note(static_cast<std::uint32_t>(3 + i % 5), 0, static_cast<std::uint8_t>(50 + i % 20), 0);
  }
  const Bytes file = smf(96, {t.end(5)});
  constexpr std::uint32_t kFrames = 44100 * 3;
  // Host calls happen between renders at these frames in every partition.
  const std::vector<std::uint64_t> hostFrames = {5000, 33333, 60000, 61000, 90001, 100003};
  auto run = [&](const std::vector<std::uint32_t>& sizes, const std::string& name) {
    const QuavrSong s = loadBytes(file, name);
    bgmSetLoopPoints(s, 37, 411);
    const QuavrDevice d = openRender(44100, nullptr);
    SinkLog log;
    bgmSetMessageSink(d, logMessage, &log);
    bgmSetLoopCount(d, 3);
    bgmPlay(d, s);
    bgmFadeAt(d, 300, 20, 150, QUAVR_FADE_CONTINUE);
    std::vector<float> audio(2 * kFrames);
    std::uint64_t at = 0;
    std::size_t nextHost = 0;
    for (std::uint32_t size : sizes) {
      if (nextHost < hostFrames.size() && at == hostFrames[nextHost]) {
        switch (nextHost++) {
          case 0:
            bgmSetTempo(d, 1333);
            break;
          case 1:
            bgmSeek(d, 120);
            break;
          case 2:
            bgmPause(d);
            break;
          case 3:
            bgmPause(d);
            break;
          case 4:
            bgmSetVolume(d, 40);
            break;
          default:
            bgmFade(d, 100, 60, QUAVR_FADE_CONTINUE);  // 40 % to 100 in 60 steps of 1 ms
            break;
        }
      }
      renderCall(d, log, audio.data() + 2 * at, size);
      at += size;
    }
    const auto synthLog = fake::renderLog(fake::onlyRender());
    bgmCloseMidiDev(d);
    devices_.pop_back();
    bgmDeleteSong(s);
    std::vector<std::uint64_t> synthFrames;
    for (const auto& r : synthLog) synthFrames.push_back(r.frame);
    return std::tuple(audio, log.entries, synthFrames);
  };
  // Sizes that reach each host frame exactly.
  auto cut = [&](auto nextSize) {
    std::vector<std::uint32_t> sizes;
    std::uint64_t at = 0;
    for (std::uint64_t stop : hostFrames) {
      while (at < stop)
        sizes.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(nextSize(), stop - at))),
            at += sizes.back();
    }
    while (at < kFrames)
      sizes.push_back(
          static_cast<std::uint32_t>(std::min<std::uint64_t>(nextSize(), kFrames - at))),
          at += sizes.back();
    return sizes;
  };
  std::mt19937 random(7);
  const auto whole = run(cut([] { return kFrames; }), "a.mid");
  const auto single = run(cut([] { return 1u; }), "b.mid");
  const auto randomly =
      run(cut([&] { return 1 + static_cast<std::uint32_t>(random() % 2000); }), "c.mid");
  ASSERT_GT(std::get<1>(whole).size(), 100u);
  EXPECT_EQ(std::memcmp(std::get<0>(whole).data(), std::get<0>(single).data(), 8u * kFrames), 0);
  EXPECT_EQ(std::memcmp(std::get<0>(whole).data(), std::get<0>(randomly).data(), 8u * kFrames), 0);
  EXPECT_EQ(std::get<1>(whole), std::get<1>(single));
  EXPECT_EQ(std::get<1>(whole), std::get<1>(randomly));
  EXPECT_EQ(std::get<2>(whole), std::get<2>(single));
  EXPECT_EQ(std::get<2>(whole), std::get<2>(randomly));
  // The fade's steps (channel 16's volume goes up 1 % a step), at 0, 1, ... 59 ms of frames.
  std::vector<std::uint64_t> steps, want;
  for (const SinkEntry& e : std::get<1>(whole)) {
    if (e.frame >= 100003 && e.bytes[0] == 0xBF && e.bytes[1] == 7) steps.push_back(e.frame);
  }
  for (std::uint64_t ms = 0; ms < 60; ++ms) want.push_back(100003 + ms * 44100 / 1000);
  EXPECT_EQ(steps, want);
  // The sink and the synthesizer saw each message at the same frame.
  const auto& entries = std::get<1>(whole);
  const auto& synthFrames = std::get<2>(whole);
  ASSERT_EQ(entries.size(), synthFrames.size());
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].frame, synthFrames[i]);
}

// A loop whose end falls inside a block: every pass plays all its notes, each on its exact
// frame, and a note held across the seam sounds on every frame of it.
TEST_F(RenderTest, ALoopEndInsideABlockLosesNothing) {
  TrackWriter t;
  t.note(100, 0, 60, 100).note(300, 0, 64, 100).note(300, 0, 64, 0).note(0, 0, 60, 0).end(50);
  const QuavrSong s = song({t});  // 1 tick = 1 ms: 60 on 100..700, 64 on 400..700
  bgmSetLoopPoints(s, 100, 700);
  const QuavrDevice d = openRender(48000, nullptr);
  SinkLog log;
  bgmSetMessageSink(d, logMessage, &log);
  bgmSetLoopCount(d, 4);
  bgmPlay(d, s);
  std::vector<float> audio(2 * 48000 * 4);
  // 700 ms, four passes of 600, then 50 ms to the end: 3150 ms.
  ASSERT_EQ(renderCall(d, log, audio.data(), 48000 * 4), 3150 * 48);
  const auto heard = songNotes(log.entries);
  std::vector<std::uint64_t> onsets;
  for (const auto& e : heard) {
    if (e.bytes[0] == 0x90 && e.bytes[2] != 0) onsets.push_back(e.frame);
  }
  // Five passes of 60 and 64: 60 at 100 ms, then at each loop end 600 ms later.
  ASSERT_EQ(onsets.size(), 10u);
  for (std::uint64_t pass = 0; pass < 5; ++pass) {
    EXPECT_EQ(onsets[2 * pass], 4800 + pass * 28800);
    EXPECT_EQ(onsets[2 * pass + 1], 19200 + pass * 28800);
  }
  for (std::uint64_t f = 4800; f < 4800 + 5 * 28800; ++f) {
    ASSERT_NE(audio[2 * f], 0.0f) << "silent frame " << f;
  }
}

// Nested counted loops: a render device sends what a port device ticked every millisecond
// sends, message for message, and the song ends on the frame of its unrolled length.
TEST_F(RenderTest, NestedLoopsPlayAsTheTimerPlaysThem) {
  auto text = [](const char* s) { return Bytes(s, s + std::strlen(s)); };
  TrackWriter t;
  t.program(0, 0, 3).meta(0, 0x06, text("loopStart=1"));  // outer at 0, one more pass
  for (int i = 0; i < 4; ++i)
    t.note(i == 0 ? 50 : 0, 0, 60, 100).note(25, 0, 60, 0).note(25, 0, 62, 90);
  t.meta(0, 0x06, text("loopStart=2")).note(10, 0, 64, 100);  // inner at 210, two more passes
  t.raw(30, {0xB0, 1, 70}).note(20, 0, 64, 0).meta(0, 0x06, text("loopEnd"));  // inner end 270
  t.note(30, 0, 62, 0).meta(0, 0x06, text("loopEnd")).end(40);                 // outer end 300
  const Bytes file = smf(500, {t});
  const QuavrSong a = loadBytes(file, "a.mid");
  const QuavrSong b = loadBytes(file, "b.mid");
  songs_.insert(songs_.end(), {a, b});
  bgmSetLoopStyle(a, QUAVR_LOOP_MARKERS);
  bgmSetLoopStyle(b, QUAVR_LOOP_MARKERS);
  const QuavrDevice port = open(1);
  bgmSetLoopCount(port, QUAVR_LOOP_AS_FILE);
  bgmPlay(port, a);
  fake::clearRecords();
  while (tick(port)) {
  }
  std::vector<std::uint32_t> ticked;
  for (const fake::Record& r : fake::records()) {
    if (r.kind == fake::Record::Short) ticked.push_back(r.message);
  }
  const QuavrDevice d = openRender(8000);
  SinkLog log;
  bgmSetMessageSink(d, logMessage, &log);
  bgmSetLoopCount(d, QUAVR_LOOP_AS_FILE);
  bgmPlay(d, b);
  std::int32_t songFrames = 0;
  while (bgmBgmStatus(d) == Playing) songFrames += renderCall(d, log, nullptr, 333, 0);
  std::vector<std::uint32_t> rendered;
  for (const SinkEntry& e : log.entries) {
    rendered.push_back(e.bytes[0] | (e.bytes.size() > 1 ? e.bytes[1] << 8 : 0) |
                       (e.bytes.size() > 2 ? e.bytes[2] << 16 : 0));
  }
  ASSERT_GT(rendered.size(), 40u);
  // The port's reset at the end is one call; a render device sends its messages.
  ASSERT_EQ(rendered.size(), ticked.size() + platform::kResetMessageCount);
  rendered.resize(ticked.size());
  EXPECT_EQ(rendered, ticked);
  // 340 ms, the inner loop's two more passes (120 ms), the outer's one more (340 ms, the inner
  // loop's two more passes again), then 40 ms to the end.
  EXPECT_EQ(songFrames, (340 + 120 + 340 + 120 + 40) * 8);
}

// The end: the call it ends in returns the song's frames, later calls 0 and silence.
TEST_F(RenderTest, TheEndComesOnItsFrame) {
  TrackWriter t;
  t.note(0, 0, 60, 100).note(250, 0, 60, 0);
  const QuavrSong s = song({t.end()});
  const QuavrDevice d = openRender(8000);
  bgmPlay(d, s);
  std::vector<float> audio(2 * 1500, 1.0f);
  EXPECT_EQ(bgmRender(d, audio.data(), 1500, QUAVR_RENDER_F32), 1500);
  EXPECT_EQ(bgmRender(d, audio.data(), 1500, QUAVR_RENDER_F32), 500);
  EXPECT_EQ(bgmBgmStatus(d), Idle);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_ENDED, QUAVR_EVENT_ENDED);
  EXPECT_EQ(bgmRender(d, audio.data(), 1500, QUAVR_RENDER_F32), 0);
  EXPECT_TRUE(std::all_of(audio.begin(), audio.end(), [](float v) { return v == 0.0f; }));
}

// A fade at a song time takes its first step on that time's frame, in the last pass only, at
// any tempo and however the host cuts its buffers.
TEST_F(RenderTest, AFadeAtASongTimeBeginsOnItsFrame) {
  TrackWriter t;
  t.raw(0, {0xB0, 7, 100}).note(0, 0, 60, 100).note(3000, 0, 60, 0);
  const QuavrSong s = song({t.end()});
  ASSERT_GT(bgmGetSongLength(s), 1000u);
  ASSERT_EQ(bgmSetLoopPoints(s, 0, 300), 0);
  for (const std::uint32_t tempo : {1000u, 997u, 2000u}) {
    const QuavrDevice d = openRender(48000);
    SinkLog log;
    bgmSetMessageSink(d, logMessage, &log);
    bgmSetLoopCount(d, 1);
    bgmSetTempo(d, tempo);
    bgmPlay(d, s);
    ASSERT_EQ(bgmFadeAt(d, 200, 0, 100, QUAVR_FADE_CONTINUE), 0);
    std::mt19937 random(tempo);
    for (std::uint32_t done = 0; done < 48000;) {
      const std::uint32_t n = std::min<std::uint32_t>(48000 - done, 1 + random() % 700);
      renderCall(d, log, nullptr, n);
      done += n;
    }
    const auto step = std::find_if(log.entries.begin(), log.entries.end(), [](const SinkEntry& e) {
      return e.bytes.size() == 3 && e.bytes[0] == 0xB0 && e.bytes[1] == 7 && e.bytes[2] < 100;
    });
    ASSERT_NE(step, log.entries.end()) << tempo;
    // 300 ms of the first pass, then 200 ms into the last.
    EXPECT_EQ(step->frame, std::uint64_t{500} * 48000 / tempo) << tempo;
    bgmStop(d);
  }
}

// MIX adds to what the buffer holds; S16 clips at both ends, never wraps.
TEST_F(RenderTest, MixAddsAndS16Clips) {
  TrackWriter t;
  t.note(0, 0, 60, 127).note(0, 0, 64, 127).note(0, 0, 67, 127).note(500, 0, 60, 0);
  const Bytes file = smf(500, {t.end()});
  auto render = [&](const std::string& name, void* out, std::uint32_t format) {
    const QuavrSong s = loadBytes(file, name);
    const QuavrDevice d = openRender(8000, nullptr);
    bgmPlay(d, s);
    EXPECT_EQ(bgmRender(d, out, 64, format), 64);
    bgmCloseMidiDev(d);
    devices_.pop_back();
    bgmDeleteSong(s);
  };
  std::vector<float> plain(128);
  std::vector<float> mixed(128, 0.25f);
  render("a.mid", plain.data(), QUAVR_RENDER_F32);
  render("b.mid", mixed.data(), QUAVR_RENDER_F32 | QUAVR_RENDER_MIX);
  for (std::size_t i = 0; i < plain.size(); ++i) EXPECT_FLOAT_EQ(mixed[i], plain[i] + 0.25f);
  std::vector<std::int16_t> s16(128, 0);
  render("c.mid", s16.data(), QUAVR_RENDER_S16);
  std::vector<std::int16_t> s16mix(128, -30000);
  render("d.mid", s16mix.data(), QUAVR_RENDER_S16 | QUAVR_RENDER_MIX);
  for (std::size_t i = 0; i < 128; i += 2) {
    ASSERT_GT(plain[i], 1.0f);  // three loud notes: past full scale
    EXPECT_EQ(s16[i], 32767);
    EXPECT_EQ(s16[i + 1], -32768);
    EXPECT_EQ(s16mix[i + 1], -32768);
    EXPECT_EQ(s16mix[i], std::clamp<int>(-30000 + static_cast<int>(std::lrint(plain[i] * 32767)),
                                         -32768, 32767));
  }
}

void QUAVR_CALL countMessage(void* user, std::uint32_t, const std::uint8_t*, std::uint32_t) {
  ++*static_cast<std::uint64_t*>(user);
}

// Once playing, rendering allocates nothing: no block, no heap memory, through loop jumps, sysex
// and the sink.
TEST_F(RenderTest, RenderingAllocatesNothing) {
  TrackWriter t;
  for (int i = 0; i < 200; ++i) t.note(5, 0, 60, 100).raw(0, {0xB0, 7, 80}).note(5, 0, 60, 0);
  t.sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
  const QuavrSong s = song({t.end()});
  bgmSetLoopPoints(s, 10, 1500);
  const QuavrDevice d = openRender(48000, nullptr);
  std::uint64_t messages = 0;
  bgmSetMessageSink(d, countMessage, &messages);
  bgmSetLoopCount(d, -1);
  bgmPlay(d, s);
  fake::setRecording(false);
  std::vector<std::int16_t> audio(2 * 512);
  bgmRender(d, audio.data(), 512, QUAVR_RENDER_S16);
  const int blocks = fake::allocationCount();
  gAllocations = 0;
  gCounting = true;
  for (int i = 0; i < 600; ++i) bgmRender(d, audio.data(), 480, QUAVR_RENDER_S16);
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0);
  EXPECT_EQ(fake::allocationCount(), blocks);
  EXPECT_GE(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), 3u);
  EXPECT_GT(messages, 1000u);
}

// A song of length 0 on repeat (set-up events at 0 ms only, or no events at all) plays a pass a
// millisecond of song time on a render device, each ending with one reset (a port device plays
// one a tick: PlaybackClockTest).
TEST_F(RenderTest, ASongOfLengthZeroOnRepeatPlaysAPassAMillisecond) {
  const Bytes setUpOnly = TrackWriter().tempo(0, 400000).program(0, 0, 5).end();
  for (const std::vector<Bytes>& tracks :
       {std::vector<Bytes>{setUpOnly}, std::vector<Bytes>{{}, {}}}) {
    const QuavrSong s = song(tracks);
    ASSERT_EQ(bgmGetSongLength(s), 0u);
    const QuavrDevice d = openRender(48000);
    std::uint64_t messages = 0;
    bgmSetMessageSink(d, countMessage, &messages);
    bgmSetRepeat(d, 1);
    bgmPlay(d, s);
    for (int i = 0; i < 100; ++i) bgmRender(d, nullptr, 480, 0);  // 1 s in calls of 10 ms
    const std::uint32_t passes = bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE);
    EXPECT_GE(passes, 999u);
    EXPECT_LE(passes, 1000u);
    EXPECT_LE(messages, (passes + 1) * (platform::kResetMessageCount + 1));
    bgmStop(d);
  }
}

struct Reentry {
  QuavrDevice device;
  QuavrSong song;
  int failed = -1;  // of the calls the sink made, those that failed with their failure value
};
void QUAVR_CALL callBack(void* user, std::uint32_t, const std::uint8_t*, std::uint32_t) {
  auto* r = static_cast<Reentry*>(user);
  const QuavrDevice d = r->device;
  const QuavrSong s = r->song;
  const std::uint8_t bytes[] = {'M', 'T', 'h', 'd'};
  char text[8];
  if (r->failed >= 0) return;
  r->failed = (bgmStop(d) == -1) + (bgmRender(d, nullptr, 1, 0) == -1) +
              (bgmOpenRenderDev(8000, "") == 0) + (bgmOpenMidiDev(0, 10) == 0) +
              (bgmGetSongMem(bytes, sizeof bytes) == 0) + (bgmGetSongFile("song0") == 0) +
              (bgmGetSongLength(s) == 0) + (bgmGetSongInfo(s, QUAVR_INFO_TRACKS, 0) == QUAVR_NONE) +
              (bgmGetSongText(s, QUAVR_TEXT_TITLE, 0, text, sizeof text) == -1) +
              (bgmSetLoopStyle(s, QUAVR_LOOP_MARKERS) == -1) + (bgmSetLoopPoints(s, 0, 5) == -1) +
              (bgmSelectSong(s, 0) == -1) + (bgmGetSongEvents(s, 0, nullptr, 0) == -1) +
              (bgmGetSongEventData(s, 0, text, sizeof text) == -1) + (bgmDeleteSong(s) == s);
}

// Rates out of range, soundfonts that are not, formats, NULL buffers, port devices, bad handles,
// and a sink that calls back. A fresh render device reports what a fresh port device does.
TEST_F(RenderTest, RefusesWhatItCannotDo) {
  for (const std::uint32_t rate : {0u, 7999u, 192001u}) {
    EXPECT_EQ(bgmOpenRenderDev(rate, ""), 0u);
    EXPECT_EQ(uMidiStatus, 11u);  // MMSYSERR_INVALPARAM
  }
  fake::addFile("notes.txt", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'});
  char text[128];
  EXPECT_EQ(bgmOpenRenderDev(44100, "missing.sf2"), 0u);
  bgmGetMidiErrorText(text, sizeof text);
  EXPECT_STREQ(text, "missing.sf2: No such file or directory");
  EXPECT_EQ(bgmOpenRenderDev(44100, "notes.txt"), 0u);
  bgmGetMidiErrorText(text, sizeof text);
  EXPECT_STREQ(text, "notes.txt is not a soundfont");
  EXPECT_EQ(fake::openRenderCount(), 0);

  const QuavrDevice synth = openRender(44100, nullptr);
  const QuavrDevice messages = openRender(192000);
  const QuavrDevice port = open();
  for (std::uint32_t what = QUAVR_PLAY_LOOPS_DONE; what <= QUAVR_PLAY_MARKER; ++what) {
    EXPECT_EQ(bgmGetPlayInfo(messages, what), bgmGetPlayInfo(port, what)) << what;
  }
  float buffer[8];
  for (const std::uint32_t format : {0u, 3u, 0x200u | QUAVR_RENDER_F32, QUAVR_RENDER_MIX}) {
    EXPECT_EQ(bgmRender(synth, buffer, 4, format), -1) << format;
    EXPECT_EQ(bgmRender(messages, buffer, 4, format), -1) << format;
  }
  EXPECT_EQ(bgmRender(synth, nullptr, 4, QUAVR_RENDER_F32), -1);
  EXPECT_EQ(bgmRender(messages, nullptr, 4, 0), 0);
  EXPECT_EQ(bgmRender(messages, nullptr, 4, QUAVR_RENDER_S16), 0);
  EXPECT_EQ(bgmRender(port, buffer, 4, QUAVR_RENDER_F32), -1);
  EXPECT_EQ(bgmSetMessageSink(port, logMessage, nullptr), -1);
  for (const QuavrDevice bad : {0u, 0xDEAD0000u}) {
    EXPECT_EQ(bgmRender(bad, buffer, 4, QUAVR_RENDER_F32), -1);
    EXPECT_EQ(bgmSetMessageSink(bad, logMessage, nullptr), -1);
  }

  // Every call the sink makes fails; the render goes on, nothing changed.
  TrackWriter t;
  t.note(0, 0, 60, 100).note(10, 0, 60, 0);
  const QuavrSong s = song({t.end()});
  Reentry reentry{messages, s};
  bgmSetMessageSink(messages, callBack, &reentry);
  bgmPlay(messages, s);
  EXPECT_EQ(bgmRender(messages, nullptr, 100, 0), 100);
  EXPECT_EQ(reentry.failed, 15);
  EXPECT_EQ(bgmBgmStatus(messages), Playing);
  EXPECT_EQ(bgmGetSongInfo(s, QUAVR_INFO_LOOPS, 0), 0u);
  bgmSetMessageSink(messages, nullptr, nullptr);
  EXPECT_EQ(bgmCloseMidiDev(synth), 0u);
  EXPECT_EQ(fake::openRenderCount(), 0);
  devices_.erase(devices_.begin());
}

}  // namespace
}  // namespace quavr::test
