#include "platform/midi/synth_audio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/midi/audio_destination.h"
#include "platform/midi/output.h"
#include "platform/platform_info.h"

namespace quavr::platform::posix {

SynthAudio::SynthAudio(fluid_settings_t* settings, fluid_synth_t* synth)
    : settings_(settings), synth_(synth), opened_(nowNs()) {}

SynthAudio::~SynthAudio() {
  stopRendering_ = true;
  if (renderer_.joinable()) renderer_.join();
  {
    std::lock_guard guard(mutex_);
    if (virtualTime() && wav_) renderUntil(nowNs());
    closeFile();
  }
  if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
}

bool SynthAudio::start() {
  const bool toOutput = std::getenv("QUAVR_WAV") == nullptr && !virtualTime();
  if (toOutput) {
    for (const char* name : {"pulseaudio", "alsa", "jack"}) {
      fluid_settings_setstr(settings_, "audio.driver", name);
      driver_ = new_fluid_audio_driver(settings_, synth_);
      if (driver_ != nullptr) return true;
    }
  }
  AudioDestination destination = openAudioDestination();
  wavPath_ = destination.path;
  if (destination.fd < 0) {
    noteOutputError(destination.path, destination.error);
    return false;
  }
  if (!destination.chosen) {
    if (toOutput) {
      std::fprintf(stderr,
                   "Quavr Synth: no audio output could be opened; rendering to %s (at most %lld "
                   "minutes)\n",
                   destination.path.c_str(), static_cast<long long>(kFallbackMinutes));
    } else {
      std::fprintf(stderr, "Quavr Synth: rendering to %s\n", destination.path.c_str());
    }
    if (toOutput) frameCap_ = kFallbackMinutes * 60 * kSynthSampleRate;
  }
  wav_ = std::make_unique<AudioFile>(std::make_unique<FdSink>(destination.fd), destination.path,
                                     kSynthSampleRate);
  if (!wav_->ok()) {
    noteOutputError(wavPath_, wav_->error());
    wav_.reset();
    return false;
  }
  if (!virtualTime()) renderer_ = std::thread([this] { renderInRealTime(); });
  return true;
}

bool SynthAudio::catchUp() {
  if (virtualTime() && wav_) renderUntil(nowNs());
  return !failed_;
}

void SynthAudio::closeFile() {
  if (wav_ && !wav_->close() && !failed_) {
    failed_ = true;
    noteOutputError(wavPath_, wav_->error());
  }
  wav_.reset();
}

void SynthAudio::renderUntil(std::int64_t ns) {
  std::int64_t target = (ns - opened_) / 1000 * kSynthSampleRate / 1000000;
  if (frameCap_ >= 0 && target >= frameCap_) target = frameCap_;
  while (wav_ && rendered_ < target) {
    const int frames = static_cast<int>(std::min<std::int64_t>(target - rendered_, kBlock));
    fluid_synth_write_float(synth_, frames, left_, 0, 1, right_, 0, 1);
    if (!wav_->write(left_, right_, static_cast<std::size_t>(frames))) {
      failed_ = true;
      noteOutputError(wavPath_, wav_->error());
      wav_.reset();
      return;
    }
    rendered_ += frames;
  }
  if (wav_ && rendered_ == frameCap_) {
    std::fprintf(stderr, "Quavr Synth: %s reached %lld minutes; rendering stopped\n",
                 wavPath_.c_str(), static_cast<long long>(kFallbackMinutes));
    closeFile();
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
