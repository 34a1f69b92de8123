// An output backend behind one open MIDI port. midi_out.cpp owns the ports, their headers and
// completions; a backend only moves bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quavr::platform::posix {

class PortSink {
 public:
  virtual ~PortSink() = default;
  virtual MMRESULT shortMessage(DWORD message) = 0;
  virtual MMRESULT longMessage(const std::uint8_t* bytes, std::size_t length) = 0;
  virtual MMRESULT reset() = 0;
};

struct OutputDevice {
  std::string name;
  // Opens the device: a sink, or null with the reason in `result`.
  std::function<std::unique_ptr<PortSink>(MMRESULT& result)> open;
};

// Every output device of the system, in device-number order: Quavr Synth when a soundfont is
// there, the ALSA ports, the JACK ports, and the monitor last. Listed once, at first use.
const std::vector<OutputDevice>& outputDevices();

std::unique_ptr<PortSink> openMonitor(MMRESULT& result);
bool synthAvailable();
std::unique_ptr<PortSink> openSynth(MMRESULT& result);
void addRtMidiPorts(std::vector<OutputDevice>& devices);

}  // namespace quavr::platform::posix
