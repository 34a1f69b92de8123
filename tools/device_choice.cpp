#include "tools/device_choice.h"

#include <algorithm>
#include <cctype>

#include "tools/decimal.h"

namespace quavr::tools {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::uint32_t findDevice(const std::string& wanted, const std::vector<std::string>& names) {
  if (allDigits(wanted)) {
    const auto number = parseDecimal(wanted);
    if (!number) fail("device number " + wanted + " is out of range; quavr-play --list shows them");
    return *number;
  }
  const std::string key = lower(wanted);
  std::vector<std::uint32_t> exact;
  std::vector<std::uint32_t> partial;
  for (std::uint32_t i = 0; i < names.size(); ++i) {
    const std::string name = lower(names[i]);
    if (name == key) exact.push_back(i);
    if (name.find(key) != std::string::npos) partial.push_back(i);
  }
  if (exact.size() == 1) return exact[0];
  if (exact.empty() && partial.size() == 1) return partial[0];
  fail((partial.empty() ? "no device is called \"" : "more than one device matches \"") + wanted +
       "\"; quavr-play --list shows them");
}

void checkOutputOptions(const PlayOptions& options, std::uint32_t device,
                        const std::string& deviceName) {
  const std::string which = "device " + std::to_string(device) + " is " + deviceName;
  if (!options.wav.empty() && deviceName != "Quavr Synth")
    fail("--wav is for Quavr Synth, but " + which, 2);
  if (options.rateGiven && deviceName != "Quavr Synth")
    fail("--rate is for Quavr Synth, but " + which, 2);
  if (!options.log.empty() && deviceName != "Quavr Monitor")
    fail("--log is for Quavr Monitor, but " + which, 2);
}

}  // namespace quavr::tools
