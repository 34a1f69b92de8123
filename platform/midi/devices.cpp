// The device list: one registration line per backend, in device-number order. The monitor is
// always there, and last, so device 0 opens on any machine.
#include "platform/midi/output.h"
#include "platform/platform_info.h"

namespace quavr::platform::posix {

const std::vector<OutputDevice>& outputDevices() {
  static const auto* devices = [] {
    auto* list = new std::vector<OutputDevice>;
#if QUAVR_WITH_SYNTH
    addSynth(*list);
#endif
#if QUAVR_WITH_RTMIDI
    addRtMidiPorts(*list);
    addJackPorts(*list);
#endif
    addMonitor(*list);
    return list;
  }();
  return *devices;
}

std::vector<std::string> deviceNames() {
  std::vector<std::string> names;
  for (const auto& device : outputDevices()) names.push_back(device.name);
  return names;
}

std::vector<std::string> unlistedDevices() {
  std::vector<std::string> notes;
#if QUAVR_WITH_SYNTH
  if (std::string why = synthUnlisted(); !why.empty())
    notes.push_back("Quavr Synth: not listed: " + why);
#endif
  return notes;
}

}  // namespace quavr::platform::posix
