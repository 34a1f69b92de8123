// The seam between the port table (ports.cpp) and the output backends: what a backend must do.
//
// A backend is one file that adds its devices to the list (the one registration line for each is
// in devices.cpp) and opens a PortSink for one of them. Contract:
// - Devices are listed once per process, on the first thread that asks; `open` may be called
//   from any host thread, any number of times (refuse with MMSYSERR_ALLOCATED if it can't share).
// - shortMessage, longMessage and reset are called on host threads and on the timer thread,
//   never two at once for one sink: the port table calls them under the port's mutex. They must
//   not block for long and must never call back into the port table or the core.
// - The port table owns long-message headers and their MOM_DONE completions; a backend only moves
//   bytes, and must not keep the pointer it is given past the call.
// - reset silences what is sounding (resetMessages(), and whatever more the backend can cut); it
//   must not close the output, lose its configuration or fail because nothing was playing.
// - A sink is destroyed on the thread that closes its port, after its last call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/common/midi_message.h"
#include "platform/common/reset_messages.h"
#include "platform/platform.h"

namespace quavr::platform::posix {

class PortSink {
 public:
  virtual ~PortSink() = default;
  virtual MMRESULT shortMessage(DWORD message) = 0;
  virtual MMRESULT longMessage(const std::uint8_t* bytes, std::size_t length) = 0;
  virtual MMRESULT reset() = 0;
};

// The sink of a port that takes whole messages as bytes, `wire.send(bytes, length)`: a short
// message is as many bytes as its status calls for (none without a status), and a reset sends
// resetMessages() up to the first failure.
template <class Wire>
class WirePort final : public PortSink {
 public:
  explicit WirePort(std::unique_ptr<Wire> wire) : wire_(std::move(wire)) {}

  MMRESULT shortMessage(DWORD message) override {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(message),
                                   static_cast<std::uint8_t>(message >> 8),
                                   static_cast<std::uint8_t>(message >> 16)};
    const std::size_t length = midiMessageLength(bytes[0]);
    return length == 0 ? MMSYSERR_INVALPARAM : wire_->send(bytes, length);
  }
  MMRESULT longMessage(const std::uint8_t* bytes, std::size_t length) override {
    return length == 0 ? MMSYSERR_NOERROR : wire_->send(bytes, length);
  }
  MMRESULT reset() override {
    for (const auto& message : resetMessages()) {
      const MMRESULT result = wire_->send(message.data(), message.size());
      if (result != MMSYSERR_NOERROR) return result;
    }
    return MMSYSERR_NOERROR;
  }

 private:
  std::unique_ptr<Wire> wire_;
};

struct OutputDevice {
  std::string name;
  // Opens the device: a sink, or null with the reason in `result`.
  std::function<std::unique_ptr<PortSink>(MMRESULT& result)> open;
};

// Every output device, in device-number order. Listed once, at first use.
const std::vector<OutputDevice>& outputDevices();

// The backends: each adds its devices to the list. synth.cpp: Quavr Synth, when a soundfont is
// there; rtmidi_ports.cpp: the ALSA ports; jack_ports.cpp: the JACK ports; monitor.cpp: Quavr
// Monitor.
void addSynth(std::vector<OutputDevice>& devices);
void addRtMidiPorts(std::vector<OutputDevice>& devices);
void addJackPorts(std::vector<OutputDevice>& devices);
void addMonitor(std::vector<OutputDevice>& devices);
// Why Quavr Synth is not listed, or empty when it is (synth.cpp).
std::string synthUnlisted();

// Records an output file's open or write error; only the first is kept (output_errors.cpp).
void noteOutputError(const std::string& path, int error);

}  // namespace quavr::platform::posix
