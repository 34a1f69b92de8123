// Where Quavr Synth's sound goes: the default audio output, or a 48 kHz audio file (audio_file.h)
// when there is no output, when QUAVR_WAV names a file, or in virtual time. In virtual time the
// audio of each interval is rendered just before the messages that end it, so the file is
// sample-aligned with the ticks; in real time a thread renders as the clock goes. The real-time
// render into the fallback file (no output, no QUAVR_WAV), which nobody asked for, stops after
// kFallbackMinutes so a forgotten player cannot fill the disk.
#pragma once

#include <fluidsynth.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/midi/audio_file.h"

namespace quavr::platform::posix {

inline constexpr std::uint32_t kSynthSampleRate = 48000;  // 48 samples a ms: ticks fall on samples
inline constexpr std::int64_t kFallbackMinutes = 30;

class SynthAudio {
 public:
  SynthAudio(fluid_settings_t* settings, fluid_synth_t* synth);
  // Stops rendering; in virtual time the audio up to now is rendered first.
  ~SynthAudio();
  SynthAudio(const SynthAudio&) = delete;
  SynthAudio& operator=(const SynthAudio&) = delete;

  // Opens the output; false when neither an audio output nor the WAV file could be opened.
  bool start();
  // Held around every call into the synthesizer: the renderer thread takes it too.
  std::mutex& lock() { return mutex_; }
  // In virtual time, the audio up to now goes out before the message that comes now. Under lock().
  // False once the audio file has failed (the error is noted for the tools).
  bool catchUp();

 private:
  void renderUntil(std::int64_t ns);
  void renderInRealTime();
  void closeFile();

  static constexpr int kBlock = 1024;
  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  fluid_audio_driver_t* driver_ = nullptr;
  std::unique_ptr<AudioFile> wav_;
  std::string wavPath_;
  std::int64_t frameCap_ = -1;  // -1: no cap
  bool failed_ = false;
  std::thread renderer_;
  std::atomic<bool> stopRendering_{false};
  std::mutex mutex_;
  std::int64_t opened_;
  std::int64_t rendered_ = 0;
  float left_[kBlock];
  float right_[kBlock];
};

}  // namespace quavr::platform::posix
