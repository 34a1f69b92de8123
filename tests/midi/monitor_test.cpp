#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/platform_info.h"
#include "tests/posix/temp_dir.h"

namespace quavr::platform {
namespace {

struct Callbacks {
  std::atomic<int> opened{0};
  std::atomic<int> closed{0};
  std::atomic<int> done{0};
  std::atomic<bool> doneOnCallerThread{false};
  std::thread::id caller = std::this_thread::get_id();
};

void QUAVR_CALLBACK record(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
  auto* c = reinterpret_cast<Callbacks*>(instance);
  if (message == MOM_OPEN) ++c->opened;
  if (message == MOM_CLOSE) ++c->closed;
  if (message == MOM_DONE) ++c->done;
}

// The monitor is always the last device.
UINT monitor() {
  return midiOutGetNumDevs() - 1;
}

// "<ms with three decimals> <what>", as the monitor writes in real time.
bool realTimeStamped(const std::string& line, const std::string& what) {
  const auto space = line.find(' ');
  const auto dot = line.find('.');
  if (space == std::string::npos || dot == std::string::npos || dot == 0 || space != dot + 4) {
    return false;
  }
  for (std::size_t i = 0; i < space; ++i) {
    if (i != dot && !std::isdigit(static_cast<unsigned char>(line[i]))) return false;
  }
  return line.substr(space + 1) == what;
}

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QUAVR_MONITOR_LOG", log_.c_str(), 1); }
  void TearDown() override { unsetenv("QUAVR_MONITOR_LOG"); }

  HMIDIOUT open(Callbacks& callbacks) {
    HMIDIOUT port = 0;
    EXPECT_EQ(midiOutOpen(&port, monitor(), reinterpret_cast<DWORD_PTR>(&record),
                          reinterpret_cast<DWORD_PTR>(&callbacks), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return port;
  }

  test::TempDir dir_;
  std::string log_ = dir_ / "monitor.log";
};

TEST_F(MonitorTest, TheMonitorIsTheLastDevice) {
  ASSERT_GE(midiOutGetNumDevs(), 1u);
  EXPECT_EQ(posix::deviceNames().back(), "Quavr Monitor");
  HMIDIOUT port = 0;
  EXPECT_EQ(midiOutOpen(&port, midiOutGetNumDevs(), 0, 0, CALLBACK_FUNCTION), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiOutOpen(&port, monitor(), 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(port), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(port), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutShortMsg(port, 0x90), MMSYSERR_INVALHANDLE);
}

TEST_F(MonitorTest, WritesOneLinePerOperation) {
  Callbacks callbacks;
  const HMIDIOUT port = open(callbacks);
  EXPECT_EQ(callbacks.opened.load(), 1);
  EXPECT_EQ(midiOutShortMsg(port, 0x00643C90), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutShortMsg(port, 0x000007C5), MMSYSERR_NOERROR);
  char sysex[] = {'\xF0', '\x7E', '\x7F', '\x09', '\x01', '\xF7'};
  MIDIHDR header{};
  header.lpData = sysex;
  header.dwBufferLength = sizeof sysex;
  MIDIHDR empty{};
  empty.lpData = sysex;
  for (MIDIHDR* h : {&header, &empty}) {
    EXPECT_EQ(midiOutLongMsg(port, h, sizeof *h), MIDIERR_UNPREPARED);
    EXPECT_EQ(midiOutPrepareHeader(port, h, sizeof *h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutLongMsg(port, h, sizeof *h), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(midiOutReset(port), MMSYSERR_NOERROR);
  EXPECT_EQ(callbacks.done.load(), 2) << "a reset reports every pending message done first";
  EXPECT_EQ(midiOutUnprepareHeader(port, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutUnprepareHeader(port, &empty, sizeof empty), MMSYSERR_NOERROR);
  EXPECT_EQ(header.dwFlags & (MHDR_PREPARED | MHDR_INQUEUE), 0u);
  EXPECT_EQ(midiOutClose(port), MMSYSERR_NOERROR);
  EXPECT_EQ(callbacks.closed.load(), 1);

  const auto lines = test::readLines(log_);
  const std::vector<std::string> expected = {"short 00643C90", "short 000007C5",
                                             "long F0 7E 7F 09 01 F7", "long", "reset"};
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(realTimeStamped(lines[i], expected[i])) << lines[i];
  }
}

TEST_F(MonitorTest, LongMessagesAreReportedDoneFromTheDriverThread) {
  Callbacks callbacks;
  const HMIDIOUT port = open(callbacks);
  char byte = '\xF0';
  std::vector<MIDIHDR> headers(50);
  for (MIDIHDR& h : headers) {
    h.lpData = &byte;
    h.dwBufferLength = 1;
    midiOutPrepareHeader(port, &h, sizeof h);
    ASSERT_EQ(midiOutLongMsg(port, &h, sizeof h), MMSYSERR_NOERROR);
  }
  for (int i = 0; i < 5000 && callbacks.done < 50; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(callbacks.done.load(), 50);
  for (MIDIHDR& h : headers) {
    EXPECT_EQ(h.dwFlags & MHDR_DONE, MHDR_DONE);
    EXPECT_EQ(midiOutUnprepareHeader(port, &h, sizeof h), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(midiOutClose(port), MMSYSERR_NOERROR);
}

TEST_F(MonitorTest, CloseRefusesWhileAMessageIsQueued) {
  char byte = '\xF0';
  // Keep trying until a message is caught in the queue; the driver thread is quick.
  for (int i = 0; i < 1000; ++i) {
    Callbacks callbacks;
    const HMIDIOUT port = open(callbacks);
    MIDIHDR header{};
    header.lpData = &byte;
    header.dwBufferLength = 1;
    midiOutPrepareHeader(port, &header, sizeof header);
    ASSERT_EQ(midiOutLongMsg(port, &header, sizeof header), MMSYSERR_NOERROR);
    if (midiOutClose(port) == MIDIERR_STILLPLAYING) {
      EXPECT_EQ(midiOutReset(port), MMSYSERR_NOERROR);
      EXPECT_EQ(callbacks.done.load(), 1);
      EXPECT_EQ(midiOutClose(port), MMSYSERR_NOERROR);
      return;
    }
    EXPECT_EQ(callbacks.done.load(), 1) << "closed only once the message was done";
  }
  GTEST_SKIP() << "the driver always finished first";
}

// The only test here that makes the monitor fail: the first error is kept process-wide.
TEST_F(MonitorTest, AWriteErrorIsAnErrorResultAndNotedWithItsCause) {
  setenv("QUAVR_MONITOR_LOG", "/dev/full", 1);
  Callbacks callbacks;
  const HMIDIOUT port = open(callbacks);
  EXPECT_EQ(midiOutShortMsg(port, 0x00643C90), MMSYSERR_ERROR);
  EXPECT_EQ(midiOutShortMsg(port, 0x00643C90), MMSYSERR_ERROR) << "and again, not just once";
  EXPECT_EQ(midiOutReset(port), MMSYSERR_ERROR);
  EXPECT_EQ(midiOutClose(port), MMSYSERR_NOERROR);
  const posix::OutputError error = posix::firstOutputError();
  EXPECT_EQ(error.path, "/dev/full");
  EXPECT_EQ(error.error, ENOSPC);

  setenv("QUAVR_MONITOR_LOG", (dir_ / "missing/x.log").c_str(), 1);
  HMIDIOUT refused = 0;
  EXPECT_EQ(midiOutOpen(&refused, monitor(), 0, 0, 0), MMSYSERR_ERROR);
  EXPECT_EQ(posix::firstOutputError().path, "/dev/full") << "the first error stays";
}

TEST(ErrorTextTest, EveryResultCodeHasATextAndOthersAreUnknown) {
  char text[128];
  for (MMRESULT code = 0; code < 128; ++code) {
    const bool known = code <= MMSYSERR_LASTERROR || (code >= 64 && code <= MIDIERR_LASTERROR);
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(midiOutGetErrorTextA(code, text, sizeof text), known ? 0u : MMSYSERR_BADERRNUM)
        << code;
    EXPECT_EQ(std::strlen(text) > 0, known) << code;
  }
  EXPECT_EQ(midiOutGetErrorTextA(0, text, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiOutGetErrorTextA(0, text, 1), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "");
}

}  // namespace
}  // namespace quavr::platform
