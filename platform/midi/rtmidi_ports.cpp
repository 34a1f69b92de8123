// MIDI ports of ALSA as output devices, through RtMidi.
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/midi/output.h"

namespace quavr::platform::posix {

namespace {

// Errors become results; RtMidi would otherwise print warnings on its own.
void quiet(RtMidiError::Type, const std::string&, void*) {}

std::unique_ptr<RtMidiOut> client(RtMidi::Api api) {
  auto out = std::make_unique<RtMidiOut>(api, "Quavr");
  out->setErrorCallback(quiet, nullptr);
  return out;
}

class RtMidiWire {
 public:
  explicit RtMidiWire(std::unique_ptr<RtMidiOut> out) : out_(std::move(out)) {}

  MMRESULT send(const std::uint8_t* bytes, std::size_t length) {
    try {
      if (!out_->isPortOpen()) return MMSYSERR_NODRIVER;
      out_->sendMessage(bytes, length);
      return MMSYSERR_NOERROR;
    } catch (const RtMidiError&) {
      return MMSYSERR_NODRIVER;  // the port or its server has gone
    }
  }

 private:
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
      return std::make_unique<WirePort<RtMidiWire>>(std::make_unique<RtMidiWire>(std::move(out)));
    }
    result = MMSYSERR_NODRIVER;
  } catch (const RtMidiError&) {
    result = MMSYSERR_NODRIVER;
  }
  return nullptr;
}

// The names of the API's output ports; none when its system is not there. RtMidi and the
// libraries under it print to standard error when it is not, so it is asked first, quietly.
std::vector<std::string> portNames(RtMidi::Api api) {
  if (api == RtMidi::LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0) return {};
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

}  // namespace

void addRtMidiPorts(std::vector<OutputDevice>& devices) {
  for (const std::string& name : portNames(RtMidi::LINUX_ALSA)) {
    devices.push_back(
        {name, [name](MMRESULT& result) { return openPort(RtMidi::LINUX_ALSA, name, result); }});
  }
}

}  // namespace quavr::platform::posix
