#include "playback/held_notes.h"

#include "base/shared_value.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"

namespace quavr {

namespace {

bool has(const std::uint64_t (&keys)[2], std::uint32_t key) {
  return (keys[key >> 6] >> (key & 63) & 1) != 0;
}
void put(std::uint64_t (&keys)[2], std::uint32_t key, bool on) {
  const std::uint64_t bit = std::uint64_t{1} << (key & 63);
  keys[key >> 6] = on ? keys[key >> 6] | bit : keys[key >> 6] & ~bit;
}

bool isNoteOff(const std::uint8_t* b) {
  return (b[0] & 0xF0) == 0x80 || ((b[0] & 0xF0) == 0x90 && b[2] == 0);
}

void endHeld(MidiDevice& device, std::uint32_t channel, std::uint32_t key) {
  put(device.heldNotes[channel], key, false);
  put(device.soundingNotes[channel], key, false);
  setMidiStatus(sendShort(device, 0x80 | channel, key, 0));
}

}  // namespace

void holdNotesAcrossJump(MidiDevice& device, const Song& song, LoopPoints loop) {
  // The notes whose own note-off is still to be found: those newly held.
  std::uint64_t wanted[16][2];
  bool any = false;
  for (std::uint32_t c = 0; c < 16; ++c) {
    for (int w = 0; w < 2; ++w) {
      wanted[c][w] = device.soundingNotes[c][w] & ~device.heldNotes[c][w];
      any = any || wanted[c][w] != 0;
    }
  }
  const auto moved = [&](std::uint32_t due) {
    return due == kNoLoop ? kNoLoop : loop.startMs + (due > loop.endMs ? due - loop.endMs : 0);
  };
  for (std::uint32_t c = 0; c < 16; ++c) {
    for (std::uint32_t key = 0; key < 128; ++key) {
      if (has(device.heldNotes[c], key))
        device.heldUntilMs[c][key] = moved(device.heldUntilMs[c][key]);
      if (has(wanted[c], key)) device.heldUntilMs[c][key] = kNoLoop;
    }
  }
  // Each wanted note's first note-off in any track after the loop end: the tracks stand just
  // past it.
  for (std::uint32_t t = 0; any && t < load(song.trackCount); ++t) {
    const Track& track = load(song.tracks)[t];
    const std::int32_t position = load(track.position);
    if (position < 0 || (playFlags(track) & kTrackSilent) != 0) continue;
    std::uint64_t open[16][2];
    for (std::uint32_t c = 0; c < 16; ++c) open[c][0] = wanted[c][0], open[c][1] = wanted[c][1];
    for (std::uint32_t i = static_cast<std::uint32_t>(position); i < track.eventCount; ++i) {
      const Event& e = track.events[i];
      const std::uint8_t* b = track.data + e.offset;
      if (e.kind != kChannelEvent || !isNoteOff(b) || b[1] > 0x7F) continue;
      const std::uint32_t c = b[0] & 0x0F, key = b[1];
      if (!has(open[c], key)) continue;
      put(open[c], key, false);
      const std::uint32_t due = moved(e.timeMs);
      if (due < device.heldUntilMs[c][key]) device.heldUntilMs[c][key] = due;
    }
  }
  for (std::uint32_t c = 0; c < 16; ++c) {
    device.heldNotes[c][0] = device.soundingNotes[c][0];
    device.heldNotes[c][1] = device.soundingNotes[c][1];
  }
}

std::uint32_t nextHeldNoteEnd(const MidiDevice& device) {
  std::uint32_t next = kNoLoop;
  if (!anyHeldNotes(device)) return next;
  for (std::uint32_t c = 0; c < 16; ++c) {
    for (std::uint32_t key = 0; key < 128; ++key) {
      if (has(device.heldNotes[c], key) && device.heldUntilMs[c][key] < next)
        next = device.heldUntilMs[c][key];
    }
  }
  return next;
}

namespace {

// Ends the held notes whose end passes `ends`.
template <class Ends>
void endHeldWhere(MidiDevice& device, Ends&& ends) {
  if (!anyHeldNotes(device)) return;
  for (std::uint32_t c = 0; c < 16; ++c) {
    for (std::uint32_t key = 0; key < 128; ++key) {
      if (has(device.heldNotes[c], key) && ends(device.heldUntilMs[c][key]))
        endHeld(device, c, key);
    }
  }
}

}  // namespace

void endHeldNotesDue(MidiDevice& device, std::uint32_t clockMs) {
  endHeldWhere(device, [clockMs](std::uint32_t until) { return until <= clockMs; });
}

void endHeldNotesWithoutEnd(MidiDevice& device) {
  endHeldWhere(device, [](std::uint32_t until) { return until == kNoLoop; });
}

void endHeldNoteBefore(MidiDevice& device, const Event& event, const std::uint8_t* data) {
  const std::uint8_t* b = data + event.offset;
  if (event.kind != kChannelEvent || (b[0] & 0xF0) != 0x90 || b[2] == 0 || b[1] > 0x7F) return;
  if (has(device.heldNotes[b[0] & 0x0F], b[1])) endHeld(device, b[0] & 0x0F, b[1]);
}

void dropHeldNotes(MidiDevice& device, std::uint32_t mask) {
  for (std::uint32_t c = 0; c < 16; ++c) {
    if ((mask >> c & 1) != 0) device.heldNotes[c][0] = device.heldNotes[c][1] = 0;
  }
}

}  // namespace quavr
