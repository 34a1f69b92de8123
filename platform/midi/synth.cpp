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

#include "platform/common/reset_messages.h"
#include "platform/midi/fluid_glue.h"
#include "platform/midi/output.h"
#include "platform/midi/synth_audio.h"

namespace quavr::platform::posix {

namespace {

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
    applyLongMessage(synth_, bytes, length);
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
    applyMessage(synth_, status, a, b);
  }

  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  std::unique_ptr<SynthAudio> audio_;
};

std::unique_ptr<PortSink> openSynth(MMRESULT& result) {
  silenceLibraries();
  if (gOpen.exchange(true)) {
    result = MMSYSERR_ALLOCATED;
    return nullptr;
  }
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kSynthSampleRate);
  fluid_synth_t* synth = settings == nullptr ? nullptr : new_fluid_synth(settings);
  if (synth == nullptr || loadSoundfont(synth, defaultSoundfont()) == FLUID_FAILED) {
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
  static const std::string why = [] {
    std::string problem = soundfontProblem(defaultSoundfont());
    return problem.empty() ? loadProblem(defaultSoundfont()) : problem;
  }();
  return why;
}

void addSynth(std::vector<OutputDevice>& devices) {
  if (synthUnlisted().empty()) devices.push_back({"Quavr Synth", openSynth});
}

}  // namespace quavr::platform::posix
