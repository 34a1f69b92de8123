// A long message's bytes read as a MIDI stream, as a synthesizer takes them: system-exclusive
// messages and channel messages, with running status inside the buffer. Other system messages and
// stray data bytes are skipped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/common/midi_message.h"

namespace quavr::platform::posix {

// Calls sysex(data, length) for each system-exclusive message (the bytes between F0 and F7) and
// channel(status, data1, data2) for each channel message (data2 0 for a two-byte message).
template <class Sysex, class Channel>
void readMidiStream(const std::uint8_t* bytes, std::size_t length, Sysex&& sysex,
                    Channel&& channel) {
  std::uint8_t status = 0;
  for (std::size_t i = 0; i < length;) {
    if (bytes[i] == 0xF0) {
      std::size_t end = i + 1;
      while (end < length && bytes[end] != 0xF7) ++end;
      sysex(bytes + i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    if (bytes[i] >= 0x80) {
      status = bytes[i] < 0xF0 ? bytes[i] : 0;
      ++i;
      continue;
    }
    if (status == 0) {
      ++i;
      continue;
    }
    const std::size_t need = midiMessageLength(status) - 1;
    if (i + need > length) break;
    channel(status, bytes[i], need == 1 ? 0 : bytes[i + 1]);
    i += need;
  }
}

}  // namespace quavr::platform::posix
