// Sending one event of a bound song to a device's port, and the port's completion callback.
#pragma once

#include "platform/platform.h"
#include "playback/device.h"
#include "song/records.h"

namespace quavr {

// Sends the event as its kind calls for: a short message, a long message, or nothing (meta), to
// the device's port or, on a render device, to its synthesizer and sink. Returns the output's
// result; a long message that cannot be given blocks gives MMSYSERR_NOMEM.
platform::MMRESULT sendEvent(MidiDevice& device, const Event& event, const std::uint8_t* data);

// A short message the device itself makes (a restore, a chase, a volume): status and two data
// bytes.
platform::MMRESULT sendShort(MidiDevice& device, std::uint32_t status, std::uint32_t data1,
                             std::uint32_t data2);

// The completion callback every device's port is opened with; the instance is the device.
void QUAVR_CALLBACK longMessageDone(platform::HMIDIOUT port, platform::UINT message,
                                    platform::DWORD_PTR instance, platform::DWORD_PTR param1,
                                    platform::DWORD_PTR param2);

}  // namespace quavr
