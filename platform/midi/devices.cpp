// The device list: one registration line per backend, in device-number order. The monitor is
// always there, and last, so device 0 opens on any machine.
#include <cstring>

#include "platform/common/copy_out.h"
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

namespace quavr::platform {

int deviceText(UINT kind, UINT index, char* text, UINT textSize) {
  std::string found;
  if (kind == DEVICE_TEXT_NAME) {
    const auto& devices = posix::outputDevices();
    if (index >= devices.size()) return -1;
    found = devices[index].name;
  } else if (kind == DEVICE_TEXT_UNLISTED) {
    const auto notes = posix::unlistedDevices();
    if (index >= notes.size()) return -1;
    found = notes[index];
  } else if (kind == DEVICE_TEXT_ERROR && index == 0) {
    const posix::OutputError error = posix::firstOutputError();
    if (error.error == 0) return -1;
    found = "cannot write " + error.path + ": " + std::strerror(error.error);
  } else {
    return -1;
  }
  return copyOut(found, text, textSize);
}

}  // namespace quavr::platform
