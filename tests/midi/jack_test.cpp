// A song played through the library into a JACK MIDI port, end to end, with no sound hardware:
// the test starts its own JACK server on the dummy driver and listens on an input port of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <pthread.h>
#include <rtmidi/RtMidi.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/platform_info.h"
#include "tests/posix/temp_dir.h"
#include "tests/smf/smf_writer.h"

extern char** environ;

namespace quavr::test {
namespace {

using Message = std::vector<unsigned char>;

class JackServer {
 public:
  explicit JackServer(const std::string& name) : name_(name) {
    // Synchronous, with a client timeout of 5 s: a late client (a loaded machine, a sanitizer
    // build) holds the cycle up instead of missing it and the MIDI it carried.
    const char* argv[] = {"jackd", "-S",    "-t", "5000",  "-n", name.c_str(), "-r",
                          "-d",    "dummy", "-r", "48000", "-p", "256",        nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "jackd", &quiet, nullptr, const_cast<char**>(argv), environ) != 0)
      pid_ = 0;
    posix_spawn_file_actions_destroy(&quiet);
    const std::string wait = "jack_wait -s " + name + " -w -t 5 >/dev/null 2>&1";
    running_ = pid_ != 0 && std::system(wait.c_str()) == 0;
  }
  ~JackServer() { stop(); }
  void stop() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  bool running() const { return running_; }
  pid_t pid() const { return pid_; }

 private:
  std::string name_;
  pid_t pid_ = 0;
  bool running_ = false;
};

// The test's own client counts xruns (cycles some client did not finish, its MIDI maybe lost) and
// sees clients shut out: a failure tells a struggling server from messages the library lost.
struct JackWatch {
  JackWatch() : client(jack_client_open("quavr-watch", JackNoStartServer, nullptr)) {
    if (client == nullptr) return;
    jack_set_xrun_callback(
        client, [](void* w) { return ++static_cast<JackWatch*>(w)->xruns, 0; }, this);
    jack_on_shutdown(
        client, [](void* w) { static_cast<JackWatch*>(w)->shutOut = true; }, this);
    jack_activate(client);
  }
  ~JackWatch() {
    if (client != nullptr) jack_client_close(client);
  }
  // What JACK did that loses messages; empty for nothing.
  std::string trouble() const {
    return (xruns != 0 ? std::to_string(xruns.load()) + " xruns " : "") +
           (shutOut ? "(the server shut the clients out)" : "");
  }
  jack_client_t* client;
  std::atomic<int> xruns{0};
  std::atomic<bool> shutOut{false};
};

struct Received {
  std::mutex mutex;
  std::vector<Message> messages;
  std::vector<Message> copy() {
    std::lock_guard guard(mutex);
    return messages;
  }
};

// Waits until `done` or for `seconds` at most: deadlines for a loaded machine, not measures.
template <class Done>
bool waitFor(Done&& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void receive(double, Message* message, void* user) {
  auto* received = static_cast<Received*>(user);
  std::lock_guard guard(received->mutex);
  received->messages.push_back(*message);
}

// The calling thread's blocked signals.
std::vector<int> blockedSignals() {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  std::vector<int> blocked;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&mask, signal) == 1) blocked.push_back(signal);
  }
  return blocked;
}

std::string writeSong(const TempDir& dir, const std::string& name, const Bytes& bytes) {
  const std::string path = dir / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(JackTest, EveryMessageArrivesInOrderWithItsBytes) {
  const std::string server = "quavr-test-" + std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  setenv("QUAVR_SOUNDFONT", "/nonexistent.sf2", 1);
  JackServer jack(server);
  if (!jack.running()) GTEST_SKIP() << "jackd could not start here";

  JackWatch watch;
  Received received;
  RtMidiIn in(RtMidi::UNIX_JACK, "quavr-test");
  in.ignoreTypes(false, true, true);
  in.setCallback(receive, &received);
  in.openVirtualPort("in");

  // The library lists devices once, at first use: after our port exists. The JACK client
  // library blocks SIGPIPE in a thread that opens a client; the host's mask stays its own.
  const std::vector<int> hostMask = blockedSignals();
  const auto names = platform::posix::deviceNames();
  EXPECT_EQ(blockedSignals(), hostMask) << "after the listing";
  std::uint32_t device = 0;
  while (device < names.size() && names[device].find("quavr-test:in") == std::string::npos)
    ++device;
  ASSERT_LT(device, names.size()) << "our JACK port is not among the devices";

  TempDir dir;
  // Division 500: one tick is a millisecond.
  const std::string path = writeSong(dir, "song.mid",
                                     smf(500, {TrackWriter()
                                                   .sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                                                   .program(0, 3, 42)
                                                   .note(10, 3, 60, 100)
                                                   .raw(0, {0x3E, 90})  // running status
                                                   .raw(0, {0xD3, 0x50})
                                                   .note(30, 3, 60, 0)
                                                   .end(10)}));
  const QuavrDevice d = bgmOpenMidiDev(device, 2);
  ASSERT_NE(d, 0u) << uMidiStatus;
  EXPECT_EQ(blockedSignals(), hostMask) << "after opening a JACK port";
  const QuavrSong song = bgmGetSongFile(path.c_str());
  bgmPlay(d, song);
  EXPECT_TRUE(waitFor([&] { return bgmBgmStatus(d) == Idle; }, 30));

  std::vector<Message> expected = {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
                                   {0xC3, 42},
                                   {0x93, 60, 100},
                                   {0x93, 0x3E, 90},
                                   {0xD3, 0x50},
                                   {0x93, 60, 0}};
  // The reset at the end of the song: every pedal off, then all notes off.
  for (int channel = 0; channel < 16; ++channel) {
    for (unsigned char pedal : {0x40, 0x42, 0x43, 0x45}) {
      expected.push_back({static_cast<unsigned char>(0xB0 | channel), pedal, 0});
    }
    expected.push_back({static_cast<unsigned char>(0xB0 | channel), 0x7B, 0});
  }
  // JACK delivers a cycle or more later, more on a busy machine.
  waitFor([&] { return received.copy().size() >= expected.size(); }, 30);
  const std::vector<Message> arrived = received.copy();
  if (arrived != expected && !watch.trouble().empty())
    GTEST_SKIP() << "JACK lost messages, not the library: " << watch.trouble();
  EXPECT_EQ(arrived, expected);

  // The server dies in a dense song: sends fail at once and bgmStop returns (it used to hang).
  TrackWriter dense;
  for (int i = 0; i < 4000; ++i) dense.note(0, 0, static_cast<std::uint8_t>(i % 128), 1 + i % 2);
  const QuavrSong busy =
      bgmGetSongFile(writeSong(dir, "dense.mid", smf(500, {dense.end(5)})).c_str());
  bgmSetRepeat(d, 1);
  bgmPlay(d, busy);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  jack.stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::atomic<bool> stopped{false};
  std::thread([&] { bgmStop(d), stopped = true; }).detach();
  if (!waitFor([&] { return stopped.load(); }, 30)) {
    ADD_FAILURE() << "bgmStop hangs on a port whose server has gone";
    std::_Exit(1);  // the hung call holds the device: nothing more can run
  }
  EXPECT_EQ(bgmBgmStatus(d), Idle);
  EXPECT_EQ(bgmDeleteSong(busy), 0u);
  bgmCloseMidiDev(d);
  EXPECT_EQ(blockedSignals(), hostMask) << "after closing it";
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

// The device list is made once per process, so a child process of these tests makes it, in the
// test ListingInAChild; it exits 0 when the listing kept the thread's signal mask.
TEST(JackTest, ListingInAChild) {
  if (std::getenv("QUAVR_JACK_LISTING_CHILD") == nullptr) GTEST_SKIP() << "run by the others";
  const std::vector<int> hostMask = blockedSignals();
  const auto names = platform::posix::deviceNames();
  EXPECT_EQ(blockedSignals(), hostMask);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "Quavr Monitor");
}

// The child's exit status, or -1 when it hangs (a guard, not a measure: the listing gives up on
// JACK after five seconds).
int listInAChild(const std::string& server) {
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  setenv("QUAVR_JACK_LISTING_CHILD", "1", 1);
  setenv("QUAVR_SOUNDFONT", "/nonexistent.sf2", 1);
  const char* argv[] = {"self", "--gtest_filter=JackTest.ListingInAChild", nullptr};
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, const_cast<char**>(argv), environ);
  unsetenv("QUAVR_JACK_LISTING_CHILD");
  if (spawned != 0) return -2;
  int status = 0;
  for (int i = 0; i < 300; ++i) {
    if (waitpid(child, &status, WNOHANG) == child)
      return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return -1;
}

// Without a server the JACK client library leaves SIGPIPE blocked in the thread that tried.
TEST(JackTest, WithoutAServerTheListingKeepsTheHostsSignalMask) {
  EXPECT_EQ(listInAChild("quavr-absent-" + std::to_string(getpid())), 0);
}

// A stopped server (SIGSTOP) never answers: the listing leaves JACK out instead of blocking
// every device call for ever.
TEST(JackTest, AStoppedServerIsLeftOutOfTheDevices) {
  const std::string server = "quavr-stopped-" + std::to_string(getpid());
  JackServer jack(server);
  if (!jack.running()) GTEST_SKIP() << "jackd could not start here";
  ASSERT_EQ(kill(jack.pid(), SIGSTOP), 0);
  const int status = listInAChild(server);
  kill(jack.pid(), SIGCONT);
  EXPECT_NE(status, -1) << "the device listing hangs on a stopped JACK server";
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace quavr::test
