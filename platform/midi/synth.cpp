// "Quavr Synth": a General MIDI synthesizer built on FluidSynth, with the soundfont named by
// QUAVR_SOUNDFONT or Debian's TimGM6mb. This file is the FluidSynth glue: messages in, synthesizer
// calls out; synth_audio.cpp decides where the sound goes.
#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include "platform/midi/midi_stream.h"
#include "platform/midi/output.h"
#include "platform/midi/reset_messages.h"
#include "platform/midi/synth_audio.h"

namespace quavr::platform::posix {

namespace {

constexpr const char* kDefaultSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::string soundfontPath() {
  const char* chosen = std::getenv("QUAVR_SOUNDFONT");
  return chosen != nullptr && *chosen != '\0' ? chosen : kDefaultSoundfont;
}

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Probing audio outputs that are not there makes FluidSynth and ALSA print; the result says it.
void silenceLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) {
      fluid_set_log_function(level, nullptr, nullptr);
    }
    snd_lib_error_set_handler(quietAlsa);
  });
}

std::atomic<bool> gOpen{false};  // one synthesizer at a time, as one sound card

class Synth final : public PortSink {
 public:
  Synth(fluid_settings_t* settings, fluid_synth_t* synth)
      : settings_(settings), synth_(synth), audio_(std::make_unique<SynthAudio>(settings, synth)) {}

  ~Synth() override {
    audio_.reset();  // before the synthesizer it renders from
    delete_fluid_synth(synth_);
    delete_fluid_settings(settings_);
    gOpen = false;
  }

  bool start() { return audio_->start(); }

  MMRESULT shortMessage(DWORD message) override {
    std::lock_guard guard(audio_->lock());
    const bool written = audio_->catchUp();
    apply(static_cast<std::uint8_t>(message), static_cast<std::uint8_t>(message >> 8),
          static_cast<std::uint8_t>(message >> 16));
    return written ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

  MMRESULT longMessage(const std::uint8_t* bytes, std::size_t length) override {
    std::lock_guard guard(audio_->lock());
    const bool written = audio_->catchUp();
    readMidiStream(
        bytes, length,
        [&](const std::uint8_t* data, std::size_t size) {
          fluid_synth_sysex(synth_, reinterpret_cast<const char*>(data), static_cast<int>(size),
                            nullptr, nullptr, nullptr, 0);
        },
        [&](std::uint8_t status, std::uint8_t a, std::uint8_t b) { apply(status, a, b); });
    return written ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

  MMRESULT reset() override {
    std::lock_guard guard(audio_->lock());
    const bool written = audio_->catchUp();
    for (const auto& m : resetMessages()) apply(m[0], m[1], m[2]);
    fluid_synth_all_sounds_off(synth_, -1);
    return written ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

 private:
  void apply(std::uint8_t status, std::uint8_t a, std::uint8_t b) {
    const int channel = status & 0x0F;
    switch (status & 0xF0) {
      case 0x80:
        fluid_synth_noteoff(synth_, channel, a);
        break;
      case 0x90:
        if (b == 0) {
          fluid_synth_noteoff(synth_, channel, a);
        } else {
          fluid_synth_noteon(synth_, channel, a, b);
        }
        break;
      case 0xA0:
        fluid_synth_key_pressure(synth_, channel, a, b);
        break;
      case 0xB0:
        fluid_synth_cc(synth_, channel, a, b);
        break;
      case 0xC0:
        fluid_synth_program_change(synth_, channel, a);
        break;
      case 0xD0:
        fluid_synth_channel_pressure(synth_, channel, a);
        break;
      case 0xE0:
        fluid_synth_pitch_bend(synth_, channel, a | (b << 7));
        break;
      default:
        break;  // system messages and bytes without a status: nothing to play
    }
  }

  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  std::unique_ptr<SynthAudio> audio_;
};

// Why the soundfont cannot be loaded, or empty. Checked before the synthesizer is listed, so a
// file that is not a whole soundfont leaves it out instead of failing (loudly) when opened.
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

std::unique_ptr<PortSink> openSynth(MMRESULT& result) {
  silenceLibraries();
  if (gOpen.exchange(true)) {
    result = MMSYSERR_ALLOCATED;
    return nullptr;
  }
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kSynthSampleRate);
  fluid_synth_t* synth = settings == nullptr ? nullptr : new_fluid_synth(settings);
  if (synth == nullptr || fluid_synth_sfload(synth, soundfontPath().c_str(), 1) == FLUID_FAILED) {
    if (synth != nullptr) delete_fluid_synth(synth);
    if (settings != nullptr) delete_fluid_settings(settings);
    gOpen = false;
    result = MMSYSERR_NODRIVER;
    return nullptr;
  }
  auto sink = std::make_unique<Synth>(settings, synth);  // owns both from here
  if (!sink->start()) {
    result = MMSYSERR_NODRIVER;
    return nullptr;
  }
  result = MMSYSERR_NOERROR;
  return sink;
}

}  // namespace

std::string synthUnlisted() {
  static const std::string why = soundfontProblem(soundfontPath());
  return why;
}

void addSynth(std::vector<OutputDevice>& devices) {
  if (synthUnlisted().empty()) devices.push_back({"Quavr Synth", openSynth});
}

}  // namespace quavr::platform::posix
