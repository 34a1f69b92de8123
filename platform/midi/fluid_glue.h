// What Quavr Synth (synth.cpp) and the render synthesizers (synth_render.cpp) share of FluidSynth:
// the soundfont they load, quiet libraries, and MIDI messages turned into synthesizer calls.
#pragma once

#include <fluidsynth.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quavr::platform::posix {

// QUAVR_SOUNDFONT, or Debian's TimGM6mb.
std::string defaultSoundfont();
// Why the soundfont cannot be loaded (missing, unreadable, not a soundfont, truncated), or empty.
std::string soundfontProblem(const std::string& path);
// FluidSynth and ALSA print when probing fails; the callers say why instead.
void silenceLibraries();
// fluid_synth_sfload, with nothing printed on the host's standard error when it fails: Debian's
// FluidSynth tries a file its own loader refuses with libinstpatch's, which logs a GLib critical.
int loadSoundfont(fluid_synth_t* synth, const std::string& path);
// Why FluidSynth cannot load a soundfont that soundfontProblem passed, found by loading it (its
// samples left on disk), or empty.
std::string loadProblem(const std::string& path);

// A channel message (data2 0 for a two-byte one); system messages are ignored.
void applyMessage(fluid_synth_t* synth, std::uint8_t status, std::uint8_t data1,
                  std::uint8_t data2);
// A long message's bytes: system-exclusive messages and channel messages with running status.
void applyLongMessage(fluid_synth_t* synth, const std::uint8_t* bytes, std::size_t length);

}  // namespace quavr::platform::posix
