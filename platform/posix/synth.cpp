// "Quavr Synth": a General MIDI synthesizer built on FluidSynth. It plays through the default
// audio output; without one, or when QUAVR_WAV names a file, or in virtual time, it renders into
// a WAV file instead. In virtual time the audio of each interval is rendered just before the
// messages that end it, so the file is sample-aligned with the ticks.
#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/midi_port.h"
#include "platform/posix/posix.h"
#include "platform/posix/reset_messages.h"
#include "platform/posix/wav_writer.h"

namespace quavr::platform::posix {

namespace {

constexpr std::uint32_t kSampleRate = 48000;  // 48 samples a millisecond: ticks fall on samples
constexpr const char* kDefaultSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::string soundfontPath() {
  const char* chosen = std::getenv("QUAVR_SOUNDFONT");
  return chosen != nullptr && *chosen != '\0' ? chosen : kDefaultSoundfont;
}

std::string wavPath() {
  const char* chosen = std::getenv("QUAVR_WAV");
  return chosen != nullptr && *chosen != '\0' ? chosen : "quavr-out.wav";
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
      : settings_(settings), synth_(synth), opened_(nowNs()) {}

  ~Synth() override {
    stopRendering_ = true;
    if (renderer_.joinable()) renderer_.join();
    {
      std::lock_guard guard(mutex_);
      if (virtualTime()) renderUntil(nowNs());
    }
    if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
    wav_.reset();
    delete_fluid_synth(synth_);
    delete_fluid_settings(settings_);
    gOpen = false;
  }

  // The default audio output, unless a file is asked for or time is virtual.
  bool start() {
    if (std::getenv("QUAVR_WAV") == nullptr && !virtualTime()) {
      for (const char* name : {"pulseaudio", "alsa", "jack"}) {
        fluid_settings_setstr(settings_, "audio.driver", name);
        driver_ = new_fluid_audio_driver(settings_, synth_);
        if (driver_ != nullptr) return true;
      }
      static std::once_flag said;
      std::call_once(said, [] {
        std::fprintf(stderr, "Quavr Synth: no audio output could be opened; rendering to %s\n",
                     wavPath().c_str());
      });
    }
    wav_ = std::make_unique<WavWriter>(wavPath(), kSampleRate);
    if (!wav_->ok()) return false;
    if (!virtualTime()) renderer_ = std::thread([this] { renderInRealTime(); });
    return true;
  }

  MMRESULT shortMessage(DWORD message) override {
    std::lock_guard guard(mutex_);
    catchUp();
    apply(static_cast<std::uint8_t>(message), static_cast<std::uint8_t>(message >> 8),
          static_cast<std::uint8_t>(message >> 16));
    return MMSYSERR_NOERROR;
  }

  MMRESULT longMessage(const std::uint8_t* bytes, std::size_t length) override {
    std::lock_guard guard(mutex_);
    catchUp();
    parse(bytes, length);
    return MMSYSERR_NOERROR;
  }

  MMRESULT reset() override {
    std::lock_guard guard(mutex_);
    catchUp();
    for (const auto& m : resetMessages()) apply(m[0], m[1], m[2]);
    fluid_synth_all_sounds_off(synth_, -1);
    return MMSYSERR_NOERROR;
  }

 private:
  // In virtual time, the audio up to now goes out before the message that comes now.
  void catchUp() {
    if (virtualTime()) renderUntil(nowNs());
  }

  void renderUntil(std::int64_t ns) {
    const std::int64_t target = (ns - opened_) / 1000 * kSampleRate / 1000000;
    while (rendered_ < target) {
      const int frames = static_cast<int>(std::min<std::int64_t>(target - rendered_, kBlock));
      fluid_synth_write_float(synth_, frames, left_, 0, 1, right_, 0, 1);
      wav_->write(left_, right_, static_cast<std::size_t>(frames));
      rendered_ += frames;
    }
  }

  void renderInRealTime() {
    while (!stopRendering_) {
      {
        std::lock_guard guard(mutex_);
        renderUntil(nowNs());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

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

  // A long message's bytes as a MIDI stream: system-exclusive messages and channel messages,
  // with running status inside the buffer.
  void parse(const std::uint8_t* bytes, std::size_t length) {
    std::uint8_t status = 0;
    for (std::size_t i = 0; i < length;) {
      if (bytes[i] == 0xF0) {
        std::size_t end = i + 1;
        while (end < length && bytes[end] != 0xF7) ++end;
        fluid_synth_sysex(synth_, reinterpret_cast<const char*>(bytes + i + 1),
                          static_cast<int>(end - i - 1), nullptr, nullptr, nullptr, 0);
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
      const bool twoBytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0;
      const std::size_t need = twoBytes ? 1 : 2;
      if (i + need > length) break;
      apply(status, bytes[i], twoBytes ? 0 : bytes[i + 1]);
      i += need;
    }
  }

  static constexpr int kBlock = 1024;
  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  fluid_audio_driver_t* driver_ = nullptr;
  std::unique_ptr<WavWriter> wav_;
  std::thread renderer_;
  std::atomic<bool> stopRendering_{false};
  std::mutex mutex_;
  std::int64_t opened_;
  std::int64_t rendered_ = 0;
  float left_[kBlock];
  float right_[kBlock];
};

}  // namespace

bool synthAvailable() {
  return access(soundfontPath().c_str(), R_OK) == 0;
}

std::unique_ptr<PortSink> openSynth(MMRESULT& result) {
  silenceLibraries();
  if (gOpen.exchange(true)) {
    result = MMSYSERR_ALLOCATED;
    return nullptr;
  }
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
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

}  // namespace quavr::platform::posix
