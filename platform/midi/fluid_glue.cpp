#include "platform/midi/fluid_glue.h"

#include <alsa/asoundlib.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/midi/midi_stream.h"

namespace quavr::platform::posix {

namespace {

constexpr const char* kDefaultSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void quietGLib(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

}  // namespace

std::string defaultSoundfont() {
  const char* chosen = std::getenv("QUAVR_SOUNDFONT");
  return chosen != nullptr && *chosen != '\0' ? chosen : kDefaultSoundfont;
}

void silenceLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
      fluid_set_log_function(level, nullptr, nullptr);
    }
    snd_lib_error_set_handler(quietAlsa);
  });
}

// Checked before a synthesizer is made, so a file that is not a whole soundfont is refused with
// its reason instead of failing (loudly) inside FluidSynth.
std::string soundfontProblem(const std::string& path) {
  if (access(path.c_str(), R_OK) != 0) return path + ": " + std::strerror(errno);
  silenceLibraries();  // the check logs its reason; this says it
  if (!fluid_is_soundfont(path.c_str())) return path + " is not a soundfont";
  // The RIFF header's size against the file's: a truncated download passes the check above.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const auto size = static_cast<std::uint64_t>(in.tellg());
  unsigned char header[8] = {};
  in.seekg(0);
  in.read(reinterpret_cast<char*>(header), sizeof header);
  const std::uint64_t riff =
      header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::uint64_t>(header[7]) << 24;
  if (!in || riff + 8 > size) return path + " is truncated";
  return {};
}

// libinstpatch logs in GLib's default domain. Its handler is the process's, so it is replaced
// only for the load: a message another thread logs there meanwhile is lost too.
int loadSoundfont(fluid_synth_t* synth, const std::string& path) {
  silenceLibraries();
  const guint handler =
      g_log_set_handler(nullptr, static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL),
                        quietGLib, nullptr);
  const int id = fluid_synth_sfload(synth, path.c_str(), 1);
  g_log_remove_handler(nullptr, handler);
  return id;
}

std::string loadProblem(const std::string& path) {
  fluid_settings_t* settings = new_fluid_settings();
  if (settings == nullptr) return {};
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  fluid_synth_t* synth = new_fluid_synth(settings);
  const bool loaded = synth == nullptr || loadSoundfont(synth, path) != FLUID_FAILED;
  if (synth != nullptr) delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return loaded ? std::string() : path + " is a soundfont FluidSynth cannot load";
}

void applyMessage(fluid_synth_t* synth, std::uint8_t status, std::uint8_t a, std::uint8_t b) {
  const int channel = status & 0x0F;
  switch (status & 0xF0) {
    case 0x80:
      fluid_synth_noteoff(synth, channel, a);
      break;
    case 0x90:
      if (b == 0) {
        fluid_synth_noteoff(synth, channel, a);
      } else {
        fluid_synth_noteon(synth, channel, a, b);
      }
      break;
    case 0xA0:
      fluid_synth_key_pressure(synth, channel, a, b);
      break;
    case 0xB0:
      fluid_synth_cc(synth, channel, a, b);
      break;
    case 0xC0:
      fluid_synth_program_change(synth, channel, a);
      break;
    case 0xD0:
      fluid_synth_channel_pressure(synth, channel, a);
      break;
    case 0xE0:
      fluid_synth_pitch_bend(synth, channel, a | (b << 7));
      break;
    default:
      break;  // system messages and bytes without a status: nothing to play
  }
}

void applyLongMessage(fluid_synth_t* synth, const std::uint8_t* bytes, std::size_t length) {
  readMidiStream(
      bytes, length,
      [&](const std::uint8_t* data, std::size_t size) {
        fluid_synth_sysex(synth, reinterpret_cast<const char*>(data), static_cast<int>(size),
                          nullptr, nullptr, nullptr, 0);
      },
      [&](std::uint8_t status, std::uint8_t a, std::uint8_t b) {
        applyMessage(synth, status, a, b);
      });
}

}  // namespace quavr::platform::posix
