// Sending one event of a bound song to a device's port, and the port's completion callback.
#pragma once

#include "platform/platform.h"

namespace quavr {

// The completion callback every device's port is opened with; the instance is the device.
void QUAVR_CALLBACK longMessageDone(platform::HMIDIOUT port, platform::UINT message,
                                    platform::DWORD_PTR instance, platform::DWORD_PTR param1,
                                    platform::DWORD_PTR param2);

}  // namespace quavr
