// MIDI ports of JACK as output devices, through JACK's client library. Each open port is a client
// of its own with one output port, connected to the device's port. Sends go into a lock-free ring
// that the client's process callback empties into the port's buffer every cycle, in order. The
// ring holds far more than the largest burst the library sends at once (a seek's chase, a reset);
// when it is full a send waits for the cycles to make room, and when the server has gone or
// stopped running the client, sends fail instead of waiting for ever.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/midi/output.h"

namespace quavr::platform::posix {

namespace {

using Clock = std::chrono::steady_clock;

// 1 MiB: a reset is 560 bytes of ring, a chase of every controller on every channel 15 KiB.
constexpr std::size_t kRingBytes = std::size_t{1} << 20;
// How long a send waits for room, and an open for its connection to take effect, while the server
// is slow (a loaded machine); past it the server counts as stalled.
constexpr Clock::duration kPatience = std::chrono::seconds(2);
// How long the listing waits for the server: a stopped one (SIGSTOP, a frozen machine) never
// answers, and is then left out of the devices.
constexpr Clock::duration kListingPatience = std::chrono::seconds(5);

using Length = std::uint32_t;  // each message in the ring: its length, then its bytes

// JACK's client library blocks SIGPIPE in the thread that opens its first client, and sets the
// mask of the thread that closes its last client back to what the opener's was: every call that
// may open or close a client keeps the calling thread's mask as it found it.
class SignalMaskKept {
 public:
  SignalMaskKept() { pthread_sigmask(SIG_BLOCK, nullptr, &mask_); }
  ~SignalMaskKept() { pthread_sigmask(SIG_SETMASK, &mask_, nullptr); }
  SignalMaskKept(const SignalMaskKept&) = delete;
  SignalMaskKept& operator=(const SignalMaskKept&) = delete;

 private:
  sigset_t mask_{};
};

void quietJack(const char*) {}

// The messages on their way to the process callback, each its length, then its bytes. One writer
// (the senders, one at a time under the port table's mutex) and one reader (the client's thread)
// each move only their own count of the bytes that passed; a message is published whole.
class MessageRing {
 public:
  bool fits(std::size_t length) const {
    return written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire) +
               sizeof(Length) + length <=
           kRingBytes;
  }
  void put(const std::uint8_t* bytes, std::size_t length) {  // when it fits
    const std::size_t at = written_.load(std::memory_order_relaxed);
    const auto header = static_cast<Length>(length);
    copyIn(at, &header, sizeof header);
    copyIn(at + sizeof header, bytes, length);
    written_.store(at + sizeof header + length, std::memory_order_release);
  }
  // The next message's length; false when there is none.
  bool next(Length& length) {
    const std::size_t at = read_.load(std::memory_order_relaxed);
    if (written_.load(std::memory_order_acquire) == at) return false;
    copyOut(at, &length, sizeof length);
    return true;
  }
  // Takes the next message into `out`, or drops it (null).
  void take(std::uint8_t* out, Length length) {
    const std::size_t at = read_.load(std::memory_order_relaxed) + sizeof length;
    if (out != nullptr) copyOut(at, out, length);
    read_.store(at + length, std::memory_order_release);
  }

 private:
  // A message is no longer than the ring: it wraps round its end once at most.
  void copyIn(std::size_t at, const void* from, std::size_t n) {
    const std::size_t place = at % kRingBytes;
    const std::size_t first = std::min(n, kRingBytes - place);
    std::memcpy(&ring_[place], from, first);
    std::memcpy(&ring_[0], static_cast<const std::uint8_t*>(from) + first, n - first);
  }
  void copyOut(std::size_t at, void* to, std::size_t n) const {
    const std::size_t place = at % kRingBytes;
    const std::size_t first = std::min(n, kRingBytes - place);
    std::memcpy(to, &ring_[place], first);
    std::memcpy(static_cast<std::uint8_t*>(to) + first, &ring_[0], n - first);
  }

  std::unique_ptr<std::uint8_t[]> ring_{new std::uint8_t[kRingBytes]};
  std::atomic<std::size_t> written_{0};
  std::atomic<std::size_t> read_{0};
};

// A client that never starts a server, quietly: the callers say why when there is none.
jack_client_t* openClient(const char* name) {
  jack_set_error_function(quietJack);
  jack_set_info_function(quietJack);
  jack_status_t status;
  return jack_client_open(name, JackNoStartServer, &status);
}

class JackWire {
 public:
  ~JackWire() {
    const SignalMaskKept kept;
    if (client_ != nullptr) jack_client_close(client_);  // stops the process callback first
  }

  // The open port connected to `target`, or null with the reason in `result`.
  static std::unique_ptr<PortSink> open(const std::string& target, MMRESULT& result) {
    const SignalMaskKept kept;
    result = MMSYSERR_NODRIVER;
    auto port = std::make_unique<JackWire>();
    port->client_ = openClient("Quavr");
    if (port->client_ == nullptr) return nullptr;
    port->port_ = jack_port_register(port->client_, "Quavr Output", JACK_DEFAULT_MIDI_TYPE,
                                     JackPortIsOutput, 0);
    if (port->port_ == nullptr) return nullptr;
    jack_set_process_callback(port->client_, process, port.get());
    jack_on_shutdown(port->client_, shutDown, port.get());
    if (jack_activate(port->client_) != 0 ||
        jack_connect(port->client_, jack_port_name(port->port_), target.c_str()) != 0) {
      return nullptr;
    }
    // The server takes a connection into its graph at the start of a cycle: until then what the
    // port sends goes nowhere.
    for (const auto deadline = Clock::now() + kPatience; jack_port_connected(port->port_) == 0;) {
      if (port->gone_ || Clock::now() > deadline) return nullptr;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    result = MMSYSERR_NOERROR;
    return std::make_unique<WirePort<JackWire>>(std::move(port));
  }

  MMRESULT send(const std::uint8_t* bytes, std::size_t length) {
    if (gone_) return MMSYSERR_NODRIVER;  // the server has gone, or shut the client out
    if (length > largest_) return MMSYSERR_INVALPARAM;  // no JACK cycle can carry it
    // A stalled server gets one wait, not one per message: sends fail at once until it runs again.
    for (const auto deadline = Clock::now() + kPatience; !ring_.fits(length);) {
      if (gone_ || stalled_ || Clock::now() > deadline) {
        stalled_ = true;
        return MMSYSERR_NODRIVER;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stalled_ = false;
    ring_.put(bytes, length);
    return MMSYSERR_NOERROR;
  }

 private:
  // On the client's thread: as many whole messages as the cycle's buffer takes, at its frame 0.
  static int process(jack_nframes_t frames, void* self) {
    auto& port = *static_cast<JackWire*>(self);
    void* buffer = jack_port_get_buffer(port.port_, frames);
    jack_midi_clear_buffer(buffer);
    port.largest_ = jack_midi_max_event_size(buffer);
    for (Length length = 0; port.ring_.next(length);) {
      jack_midi_data_t* data = jack_midi_event_reserve(buffer, 0, length);
      // The buffer is full: the rest goes out next cycle. One that no cycle can carry (sent
      // before the first cycle told how large a message can be) is dropped.
      if (data == nullptr && jack_midi_get_event_count(buffer) != 0) break;
      port.ring_.take(data, length);
    }
    return 0;
  }

  static void shutDown(void* self) { static_cast<JackWire*>(self)->gone_ = true; }

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  MessageRing ring_;
  std::atomic<bool> gone_{false};
  // The largest message a cycle carries; until the first cycle says, as large as the ring.
  std::atomic<std::size_t> largest_{kRingBytes - sizeof(Length)};
  bool stalled_ = false;  // the senders' own (under the port table's mutex)
};

// The server's MIDI input ports; none when there is no server.
std::vector<std::string> portNames() {
  std::vector<std::string> names;
  jack_client_t* probe = openClient("quavr-probe");
  if (probe == nullptr) return names;
  if (const char** ports =
          jack_get_ports(probe, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
    for (const char** port = ports; *port != nullptr; ++port) names.emplace_back(*port);
    jack_free(ports);
  }
  jack_client_close(probe);
  return names;
}

struct JackListing {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::vector<std::string> names;
};

// The ports, listed on a short-lived thread of ours: a stopped server blocks a client's open
// forever, so the listing is given up after kListingPatience and JACK left out. The thread is
// then detached and ends whenever the server answers; it shares only the listing record, which
// the last of the two to let go frees. It runs with every signal blocked, so it never takes one
// meant for the host's threads.
std::vector<std::string> listPorts() {
  auto listing = std::make_shared<JackListing>();
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  std::thread thread;
  try {
    thread = std::thread([listing] {
      std::vector<std::string> names = portNames();
      std::lock_guard guard(listing->mutex);
      listing->names = std::move(names);
      listing->finished = true;
      listing->done.notify_all();
    });
  } catch (const std::system_error&) {  // no thread to be had: no JACK either
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!thread.joinable()) return {};
  std::unique_lock guard(listing->mutex);
  if (!listing->done.wait_for(guard, kListingPatience, [&] { return listing->finished; })) {
    thread.detach();
    return {};
  }
  guard.unlock();
  thread.join();
  return std::move(listing->names);
}

}  // namespace

void addJackPorts(std::vector<OutputDevice>& devices) {
  // Never let a port listing start a JACK server (it can take seconds), unless the user asked.
  setenv("JACK_NO_START_SERVER", "1", 0);
  for (const std::string& name : listPorts()) {
    devices.push_back({name, [name](MMRESULT& result) { return JackWire::open(name, result); }});
  }
}

}  // namespace quavr::platform::posix
