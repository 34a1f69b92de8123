#include "platform/midi/synth_audio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/introspection.h"

namespace quavr::platform::posix {

namespace {

std::string wavPath() {
  const char* chosen = std::getenv("QUAVR_WAV");
  return chosen != nullptr && *chosen != '\0' ? chosen : "quavr-out.wav";
}

}  // namespace

SynthAudio::SynthAudio(fluid_settings_t* settings, fluid_synth_t* synth)
    : settings_(settings), synth_(synth), opened_(nowNs()) {}

SynthAudio::~SynthAudio() {
  stopRendering_ = true;
  if (renderer_.joinable()) renderer_.join();
  {
    std::lock_guard guard(mutex_);
    if (virtualTime() && wav_) renderUntil(nowNs());
  }
  if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
}

bool SynthAudio::start() {
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
  wav_ = std::make_unique<WavWriter>(wavPath(), kSynthSampleRate);
  if (!wav_->ok()) return false;
  if (!virtualTime()) renderer_ = std::thread([this] { renderInRealTime(); });
  return true;
}

void SynthAudio::catchUp() {
  if (virtualTime() && wav_) renderUntil(nowNs());
}

void SynthAudio::renderUntil(std::int64_t ns) {
  const std::int64_t target = (ns - opened_) / 1000 * kSynthSampleRate / 1000000;
  while (rendered_ < target) {
    const int frames = static_cast<int>(std::min<std::int64_t>(target - rendered_, kBlock));
    fluid_synth_write_float(synth_, frames, left_, 0, 1, right_, 0, 1);
    wav_->write(left_, right_, static_cast<std::size_t>(frames));
    rendered_ += frames;
  }
}

void SynthAudio::renderInRealTime() {
  while (!stopRendering_) {
    {
      std::lock_guard guard(mutex_);
      renderUntil(nowNs());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace quavr::platform::posix
