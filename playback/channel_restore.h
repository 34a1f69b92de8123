// Sending channel state the device itself decides on: a loop jump's restore and a seek's chase.
#pragma once

#include "playback/device.h"
#include "song/channel_state.h"

namespace quavr {

// Without `parameters` (a loop restore): what the span changed, set back to its value at the
// time: controllers in order, then program, pitch bend and pressure.
// With them (a seek's chase, on channels just silenced): per channel, the bank and program, every
// other controller, the parameters' data entries in the order they were last written and the
// selects last, then pitch bend and pressure. What the song sets before the time goes out as it
// left it; what it sets only later goes out at its power-on value, undoing what another position
// left on the port.
void sendChannelStates(MidiDevice& device, const ChannelState (&channels)[16],
                       const ParameterLog* parameters = nullptr);

}  // namespace quavr
