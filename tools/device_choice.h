// Which device quavr-play opens, and whether the output options fit it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/play_options.h"

namespace quavr::tools {

// The device `wanted` names: a number; a name, in any letter case, that is exactly one device's
// name; or a part of one device's name only. Exits with a message when there is none or several.
std::uint32_t findDevice(const std::string& wanted, const std::vector<std::string>& names);

// Exits when --wav or --rate is given for a device that is not the synthesizer, or --log for one
// that is not the monitor: the option would be ignored.
void checkOutputOptions(const PlayOptions& options, std::uint32_t device,
                        const std::string& deviceName);

}  // namespace quavr::tools
