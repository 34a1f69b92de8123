// MIDI ports of ALSA and JACK as output devices, through RtMidi.
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/common/midi_message.h"
#include "platform/midi/output.h"
#include "platform/midi/reset_messages.h"

namespace quavr::platform::posix {

namespace {

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

// Whether the API's system is there. RtMidi and the libraries under it print to standard error
// when it is not, so it is asked first, quietly.
bool present(RtMidi::Api api) {
  if (api == RtMidi::LINUX_ALSA) return access("/dev/snd/seq", R_OK | W_OK) == 0;
  jack_set_error_function(quietJack);
  jack_set_info_function(quietJack);
  jack_status_t status;
  jack_client_t* probe = jack_client_open("quavr-probe", JackNoStartServer, &status);
  if (probe == nullptr) return false;
  jack_client_close(probe);
  return true;
}

}  // namespace

void addRtMidiPorts(std::vector<OutputDevice>& devices) {
  // Never let a port listing start a JACK server (it can take seconds), unless the user asked.
  setenv("JACK_NO_START_SERVER", "1", 0);
  for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
    if (!present(api)) continue;
    try {  // should the system go away meanwhile, RtMidi throws: no ports
      auto out = client(api);
      for (unsigned i = 0, n = out->getPortCount(); i < n; ++i) {
        const std::string name = out->getPortName(i);
        if (name.empty()) continue;
        devices.push_back(
            {name, [api, name](MMRESULT& result) { return openPort(api, name, result); }});
      }
    } catch (const RtMidiError&) {
    }
  }
}

}  // namespace quavr::platform::posix
