#include "playback/message_output.h"
#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

using namespace platform;

class MessageOutputTest : public PlaybackTest {
 protected:
  // Plays a one-track song and fires its first tick.
  QuavrDevice playFirstTick(const Bytes& track) {
    const QuavrDevice d = open(10);
    bgmPlay(d, song({track}));
    blocksBeforeTick_ = fake::liveBlocks();
    tick(d);
    return d;
  }
  std::size_t blocksBeforeTick_ = 0;
};

TEST_F(MessageOutputTest, ChannelMessagesGoOutPackedAndMetaEventsNotAtAll) {
  playFirstTick(TrackWriter().note(0, 0, 0x3C, 0x64).program(0, 5, 7).tempo(0, 400000).end(100));
  EXPECT_EQ(fake::shortMessages(), (std::vector<std::uint32_t>{0x00643C90, 0x000007C5}));
  EXPECT_EQ(fake::records().size(), 2u);
}

TEST_F(MessageOutputTest, SysexAndEscapeGoOutAsLongMessagesOfTheirStoredBytes) {
  playFirstTick(TrackWriter()
                    .sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                    .raw(0, {0xF7, 0x02, 0xF3, 0x01})
                    .raw(0, {0xF7, 0x00})
                    .end(100));
  EXPECT_EQ(fake::longMessages(),
            (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF3, 0x01}, {}}));
}

TEST_F(MessageOutputTest, EachLongMessageIsFreedOnceWhenItsCompletionComes) {
  playFirstTick(TrackWriter().sysex(0, {1, 0xF7}).sysex(0, {2, 0xF7}).sysex(0, {3, 0xF7}).end(100));
  const auto queued = fake::queuedHeaders();
  ASSERT_EQ(queued.size(), 3u);
  EXPECT_EQ(fake::liveBlocks(), blocksBeforeTick_ + 6) << "a header and a data block each";
  const int unprepares = fake::callCount(fake::Op::MidiOutUnprepareHeader);
  for (MIDIHDR* header : {queued[1], queued[2], queued[0]}) {
    const std::size_t before = fake::liveBlocks();
    fake::completeLongMessage(header);
    EXPECT_EQ(fake::liveBlocks(), before - 2);
  }
  EXPECT_EQ(fake::callCount(fake::Op::MidiOutUnprepareHeader), unprepares + 3);
  EXPECT_EQ(fake::liveBlocks(), blocksBeforeTick_);
}

TEST_F(MessageOutputTest, ARefusedLongMessageIsFreedAtOnceAndPlayGoesOn) {
  fake::inject(fake::Op::MidiOutLongMsg, MIDIERR_NOTREADY);
  playFirstTick(TrackWriter().sysex(0, {1, 0xF7}).note(0, 0, 1, 1).end(100));
  EXPECT_EQ(fake::liveBlocks(), blocksBeforeTick_);
  EXPECT_TRUE(fake::queuedHeaders().empty());
  EXPECT_EQ(fake::shortMessages(), std::vector<std::uint32_t>{noteOn(0, 1, 1)});
}

TEST_F(MessageOutputTest, APrepareFailureIsNotReportedAndTheMessageIsSent) {
  fake::inject(fake::Op::MidiOutPrepareHeader, MMSYSERR_NOMEM);
  playFirstTick(TrackWriter().sysex(0, {1, 0xF7}).end(100));
  // The fake refuses unprepared headers, as a real port does; the result is the send's.
  EXPECT_EQ(uMidiStatus, MIDIERR_UNPREPARED);
  EXPECT_EQ(fake::liveBlocks(), blocksBeforeTick_);
}

TEST_F(MessageOutputTest, BlocksThatCannotBeMadeGiveNoMemoryAndNothingSent) {
  for (int failing : {1, 2}) {
    const QuavrDevice d = open(10);
    bgmPlay(d, song({TrackWriter().sysex(0, {1, 0xF7}).note(0, 0, 1, 1).end(100)}));
    const std::size_t blocks = fake::liveBlocks();
    fake::clearRecords();
    fake::onShortMessage([&] { EXPECT_EQ(uMidiStatus, MMSYSERR_NOMEM) << failing; });
    fake::failAllocation(failing);
    tick(d);
    fake::onShortMessage(nullptr);
    EXPECT_TRUE(fake::longMessages().empty());
    EXPECT_EQ(fake::shortMessages().size(), 1u);
    EXPECT_EQ(fake::liveBlocks(), blocks);
    bgmCloseMidiDev(d);
  }
}

TEST_F(MessageOutputTest, CloseWithAQueuedMessageResetsThePortFirst) {
  const QuavrDevice d = playFirstTick(TrackWriter().sysex(0, {1, 0xF7}).end(100));
  ASSERT_EQ(fake::queuedHeaders().size(), 1u);
  bgmPause(d);  // a pause resets the port, which returns the message
  EXPECT_TRUE(fake::queuedHeaders().empty());
  bgmPause(d);
  tick(d);
  // A long message still queued at close can only come from a failed path: a reset that failed.
  const QuavrDevice e = playFirstTick(TrackWriter().sysex(0, {2, 0xF7}).end(100));
  fake::inject(fake::Op::MidiOutReset, MMSYSERR_ERROR);
  bgmPause(e);
  ASSERT_EQ(fake::queuedHeaders().size(), 1u);
  const int resets = fake::callCount(fake::Op::MidiOutReset);
  EXPECT_EQ(bgmCloseMidiDev(e), MMSYSERR_NOERROR);
  EXPECT_EQ(fake::callCount(fake::Op::MidiOutReset), resets + 1);
  EXPECT_TRUE(fake::queuedHeaders().empty());
  const int before = fake::callCount(fake::Op::MidiOutReset);
  bgmStop(d);
  EXPECT_EQ(bgmCloseMidiDev(d), MMSYSERR_NOERROR);
  EXPECT_EQ(fake::callCount(fake::Op::MidiOutReset), before + 1) << "only the stop's reset";
}

TEST_F(MessageOutputTest, AMessageThatOutlivesItsDeviceIsFreedByItsCompletion) {
  const QuavrDevice d = playFirstTick(TrackWriter().sysex(0, {1, 0xF7}).end(100));
  fake::inject(fake::Op::MidiOutReset, MMSYSERR_ERROR, 2);  // the stop's and the close's
  EXPECT_EQ(bgmCloseMidiDev(d), MIDIERR_STILLPLAYING);
  ASSERT_EQ(fake::queuedHeaders().size(), 1u);
  EXPECT_EQ(bgmBgmStatus(d), -1) << "the device is gone all the same";
  fake::completeAllLongMessages();  // reaches a closed device: only the message is touched
  EXPECT_EQ(fake::liveBlocks(), blocksBeforeTick_ - 1) << "the device block went with the close";
}

TEST_F(MessageOutputTest, ACompletionForAHeaderNotOursIsIgnored) {
  const QuavrDevice d = open(10);
  MIDIHDR stranger{};
  longMessageDone(0x100, MOM_DONE, d, reinterpret_cast<DWORD_PTR>(&stranger), 0);
  longMessageDone(0x100, MOM_DONE, d, 0, 0);
  EXPECT_EQ(stranger.dwFlags, 0u);
}

}  // namespace
}  // namespace quavr::test
