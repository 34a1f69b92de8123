#include "playback/channel_restore.h"

#include "playback/channel_mix.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"

namespace quavr {

using namespace platform;

namespace {

void sendCc(MidiDevice& device, std::uint32_t channel, std::uint32_t controller,
            std::uint32_t value) {
  setMidiStatus(sendController(device, channel, controller, value));
}

bool has(const std::uint32_t (&bits)[4], std::uint32_t n) {
  return (bits[n / 32] >> (n % 32) & 1) != 0;
}

void sendProgram(MidiDevice& device, std::uint32_t c, const ChannelState& s) {
  setMidiStatus(sendShort(device, 0xC0 | c, s.program, 0));
}
void sendBend(MidiDevice& device, std::uint32_t c, const ChannelState& s) {
  setMidiStatus(sendShort(device, 0xE0 | c, s.bend & 0x7F, s.bend >> 7));
}
void sendPressure(MidiDevice& device, std::uint32_t c, const ChannelState& s) {
  setMidiStatus(sendShort(device, 0xD0 | c, s.pressure, 0));
}

void restoreChannel(MidiDevice& device, std::uint32_t c, const ChannelState& s) {
  for (std::uint32_t n = 0; n < 128; ++n) {
    if (has(s.touchedControllers, n)) sendCc(device, c, n, s.controllers[n]);
  }
  if ((s.touched & kTouchedProgram) != 0) sendProgram(device, c, s);
  if ((s.touched & kTouchedBend) != 0) sendBend(device, c, s);
  if ((s.touched & kTouchedPressure) != 0) sendPressure(device, c, s);
}

// The parameters in the order of their last write, each selected then given its data entries
// in the order they were written; then the selects as the song left them, the last one last.
void chaseParameters(MidiDevice& device, std::uint32_t c, const ChannelState& s,
                     const ParameterLog& log) {
  std::uint32_t after = 0;
  for (;;) {
    const ParameterState* next = nullptr;
    for (std::uint32_t i = 0; i < log.count; ++i) {
      const std::uint32_t when = lastWrite(log.entries[i]);
      if (when > after && (next == nullptr || when < lastWrite(*next))) next = &log.entries[i];
    }
    if (next == nullptr) break;
    after = lastWrite(*next);
    const bool nrpn = (next->number & kNrpn) != 0;
    sendCc(device, c, nrpn ? 99 : 101, next->number >> 7 & 0x7F);
    sendCc(device, c, nrpn ? 98 : 100, next->number & 0x7F);
    for (std::uint32_t done = 0;;) {
      std::int32_t first = -1;
      for (std::uint32_t d = 0; d < 4; ++d) {
        if (next->when[d] > done && (first < 0 || next->when[d] < next->when[first])) first = d;
      }
      if (first < 0) break;
      done = next->when[first];
      sendCc(device, c, kDataControllers[first], next->value[first]);
    }
  }
  for (std::uint32_t done = 0;;) {
    std::int32_t first = -1;
    for (std::uint32_t i = 0; i < 4; ++i) {
      if (log.selectWhen[i] > done && (first < 0 || log.selectWhen[i] < log.selectWhen[first])) {
        first = i;
      }
    }
    if (first < 0) break;
    done = log.selectWhen[first];
    sendCc(device, c, 98 + first, s.controllers[98 + first]);
  }
}

void chaseChannel(MidiDevice& device, std::uint32_t c, const ChannelState& s,
                  const ParameterLog& log) {
  const auto either = [](const std::uint32_t(&a)[4], const std::uint32_t(&b)[4], std::uint32_t n) {
    return has(a, n) || has(b, n);
  };
  // A bank select takes effect at the next program: the bank the program came with goes first,
  // then what the song selected after it.
  const bool program = ((s.written | s.touched) & kTouchedProgram) != 0;
  for (const std::uint32_t bank : {0u, 32u}) {
    if (program && either(s.writtenControllers, s.touchedControllers, bank)) {
      sendCc(device, c, bank, s.bankAtProgram[bank / 32]);
    }
  }
  if (program) sendProgram(device, c, s);
  for (std::uint32_t n = 0; n < 120; ++n) {
    const bool written = has(s.writtenControllers, n);
    if (!written && !has(s.touchedControllers, n)) continue;
    if (isParameterSelect(n) && written) continue;  // with the parameters
    if ((n == 0 || n == 32) && program && s.controllers[n] == s.bankAtProgram[n / 32]) continue;
    sendCc(device, c, n, s.controllers[n]);
  }
  chaseParameters(device, c, s, log);
  if (((s.written | s.touched) & kTouchedBend) != 0) sendBend(device, c, s);
  if (((s.written | s.touched) & kTouchedPressure) != 0) sendPressure(device, c, s);
}

}  // namespace

void sendChannelStates(MidiDevice& device, const ChannelState (&channels)[16],
                       const ParameterLog* parameters) {
  for (std::uint32_t c = 0; c < 16; ++c) {
    if (parameters == nullptr) {
      restoreChannel(device, c, channels[c]);
    } else {
      chaseChannel(device, c, channels[c], parameters[c]);
    }
  }
}

}  // namespace quavr
