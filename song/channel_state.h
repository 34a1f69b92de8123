// The state of the song's channels at a time: what its channel messages before that time leave,
// walked in the order the clock sends them (by time; of equal times, by track). A loop restore
// and a seek's chase both start from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "song/records.h"

namespace quavr {

inline constexpr std::uint32_t kTouchedProgram = 1;
inline constexpr std::uint32_t kTouchedBend = 2;
inline constexpr std::uint32_t kTouchedPressure = 4;

// Data entry (6, 38) and increments (96, 97) act on the selected parameter; 98 to 101 select it.
inline bool isDataEntry(std::uint32_t controller) {
  return controller == 6 || controller == 38 || controller == 96 || controller == 97;
}
inline bool isParameterSelect(std::uint32_t controller) {
  return controller >= 98 && controller <= 101;
}
std::uint8_t powerOnValue(std::uint32_t controller);

// One channel: each value as it stands at the time (the power-on value where the song never set
// it), what was set before it, and what the span after it changes.
struct ChannelState {
  std::uint8_t controllers[128];        // modes (120 and up) and data entries are no state here
  std::uint32_t writtenControllers[4];  // a bit per controller set before the time
  std::uint32_t touchedControllers[4];  // a bit per controller set within the span
  std::uint16_t bend;
  std::uint8_t program;
  std::uint8_t pressure;
  std::uint8_t bankAtProgram[2];  // CC0 and CC32 as they stood when the program came
  std::uint8_t written;           // kTouchedProgram | kTouchedBend | kTouchedPressure, before
  std::uint8_t touched;           // the same, within the span
};

// The parameters (RPN and NRPN) a channel's data entries went to, each with the last value of
// each data controller; `when` orders the writes (0: never). Kept to the most recently written.
inline constexpr std::uint32_t kParametersKept = 32;
inline constexpr std::uint32_t kNrpn = 0x4000;  // in a parameter's number: an NRPN
struct ParameterState {
  std::uint32_t number;   // kNrpn | select MSB << 7 | select LSB
  std::uint8_t value[4];  // CC6, CC38, CC96, CC97
  std::uint32_t when[4];
};
struct ParameterLog {
  std::uint32_t selectWhen[4];  // the last write of CC98 to CC101
  std::uint32_t count;
  ParameterState entries[kParametersKept];
};
std::uint32_t lastWrite(const ParameterState& parameter);
// The index of a data controller (6, 38, 96, 97) in ParameterState::value.
std::uint32_t dataIndex(std::uint32_t controller);
inline constexpr std::uint8_t kDataControllers[4] = {6, 38, 96, 97};

// The parameter a data entry goes to: the pair of selects written last (NRPN or RPN), or -1 when
// none was written or it is the null parameter (127, 127).
std::int32_t parameterInForce(const ChannelState& channel, const ParameterLog& log);

struct SongState {
  ChannelState channels[16];
  ParameterLog parameters[16];
};

// Calls the visitor with each system-exclusive message before the time, in the walk's order.
using SysexVisitor = void (*)(void* context, const Event& event, const std::uint8_t* data);

// The state before `timeMs`, and the changes of the messages from `timeMs` to `untilMs`. The
// parameters are kept only when `parameters` is given. The walk takes a block of its own, or
// `room` when given (walkRoomBytes of the track count, 16-byte aligned): then it allocates
// nothing. False, with no visit made, when the walk's block could not be had.
bool channelStatesAt(const Track* tracks, std::uint32_t trackCount, std::uint32_t timeMs,
                     std::uint32_t untilMs, ChannelState (&channels)[16],
                     ParameterLog* parameters = nullptr, SysexVisitor onSysex = nullptr,
                     void* context = nullptr, void* room = nullptr);
std::size_t walkRoomBytes(std::uint32_t trackCount);

// The first event at or after `ms` in a track's events, which are in time order.
const Event* firstEventAt(const Event* first, const Event* last, std::uint32_t ms);

}  // namespace quavr
