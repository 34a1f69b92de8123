// MIDI ports of ALSA and JACK as output devices, through RtMidi.
#include <jack/jack.h>
#include <pthread.h>
#include <rtmidi/RtMidi.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/common/midi_message.h"
#include "platform/common/reset_messages.h"
#include "platform/midi/output.h"

namespace quavr::platform::posix {

namespace {

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

// Errors become results; RtMidi would otherwise print warnings on its own.
void quiet(RtMidiError::Type, const std::string&, void*) {}

std::unique_ptr<RtMidiOut> client(RtMidi::Api api) {
  auto out = std::make_unique<RtMidiOut>(api, "Quavr");
  out->setErrorCallback(quiet, nullptr);
  return out;
}

class RtMidiPort final : public PortSink {
 public:
  explicit RtMidiPort(std::unique_ptr<RtMidiOut> out) : out_(std::move(out)) {}
  ~RtMidiPort() override {
    const SignalMaskKept kept;
    out_.reset();
  }

  MMRESULT shortMessage(DWORD message) override {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(message),
                                   static_cast<std::uint8_t>(message >> 8),
                                   static_cast<std::uint8_t>(message >> 16)};
    // As many bytes as the status calls for; none without a status.
    const std::size_t length = midiMessageLength(bytes[0]);
    if (length == 0) return MMSYSERR_INVALPARAM;
    return send(bytes, length);
  }

  MMRESULT longMessage(const std::uint8_t* bytes, std::size_t length) override {
    return length == 0 ? MMSYSERR_NOERROR : send(bytes, length);
  }

  MMRESULT reset() override {
    for (const auto& message : resetMessages()) {
      const MMRESULT result = send(message.data(), message.size());
      if (result != MMSYSERR_NOERROR) return result;
    }
    return MMSYSERR_NOERROR;
  }

 private:
  MMRESULT send(const std::uint8_t* bytes, std::size_t length) {
    try {
      if (!out_->isPortOpen()) return MMSYSERR_NODRIVER;
      out_->sendMessage(bytes, length);
      return MMSYSERR_NOERROR;
    } catch (const RtMidiError&) {
      return MMSYSERR_NODRIVER;  // the port or its server has gone
    }
  }

  std::unique_ptr<RtMidiOut> out_;
};

// Opens the port now called `name`: ports are found again by name, since their numbers move
// as other programs come and go.
std::unique_ptr<PortSink> openPort(RtMidi::Api api, const std::string& name, MMRESULT& result) {
  const SignalMaskKept kept;
  try {
    auto out = client(api);
    for (unsigned i = 0, n = out->getPortCount(); i < n; ++i) {
      if (out->getPortName(i) != name) continue;
      out->openPort(i, "Quavr Output");
      if (!out->isPortOpen()) break;
      result = MMSYSERR_NOERROR;
      return std::make_unique<RtMidiPort>(std::move(out));
    }
    result = MMSYSERR_NODRIVER;
  } catch (const RtMidiError&) {
    result = MMSYSERR_NODRIVER;
  }
  return nullptr;
}

void quietJack(const char*) {}

// The names of the API's output ports; none when its system is not there. RtMidi and the
// libraries under it print to standard error when it is not, so it is asked first, quietly.
std::vector<std::string> portNames(RtMidi::Api api) {
  if (api == RtMidi::LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0) return {};
  if (api == RtMidi::UNIX_JACK) {
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    jack_status_t status;
    jack_client_t* probe = jack_client_open("quavr-probe", JackNoStartServer, &status);
    if (probe == nullptr) return {};
    jack_client_close(probe);
  }
  std::vector<std::string> names;
  try {  // should the system go away meanwhile, RtMidi throws: no ports
    auto out = client(api);
    for (unsigned i = 0, n = out->getPortCount(); i < n; ++i) {
      std::string name = out->getPortName(i);
      if (!name.empty()) names.push_back(std::move(name));
    }
  } catch (const RtMidiError&) {
  }
  return names;
}

constexpr std::chrono::seconds kJackPatience{1};

struct JackListing {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::vector<std::string> names;
};

// The JACK ports, listed on a short-lived thread of ours: a stopped server (SIGSTOP, a frozen
// machine) blocks a client's open forever, so the listing is given up after kJackPatience and
// JACK left out. The thread is then detached and ends whenever the server answers; it shares
// only the listing record, which the last of the two to let go frees. It runs with every signal
// blocked, so it never takes one meant for the host's threads.
std::vector<std::string> jackPortNames() {
  auto listing = std::make_shared<JackListing>();
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  std::thread thread;
  try {
    thread = std::thread([listing] {
      std::vector<std::string> names = portNames(RtMidi::UNIX_JACK);
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
  if (!listing->done.wait_for(guard, kJackPatience, [&] { return listing->finished; })) {
    thread.detach();
    return {};
  }
  guard.unlock();
  thread.join();
  return std::move(listing->names);
}

}  // namespace

void addRtMidiPorts(std::vector<OutputDevice>& devices) {
  // Never let a port listing start a JACK server (it can take seconds), unless the user asked.
  setenv("JACK_NO_START_SERVER", "1", 0);
  for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
    const auto names = api == RtMidi::UNIX_JACK ? jackPortNames() : portNames(api);
    for (const std::string& name : names) {
      devices.push_back(
          {name, [api, name](MMRESULT& result) { return openPort(api, name, result); }});
    }
  }
}

}  // namespace quavr::platform::posix
