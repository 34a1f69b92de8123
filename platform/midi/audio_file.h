// Quavr Synth's audio file, written through libsndfile: stereo at the synthesizer's rate.
// - Into a pipe, where the sizes cannot be filled in at the end: a WAV stream whose header says
//   "length unknown" (0xFFFFFFFF), then the samples, whatever the name.
// - A name ending in .flac: FLAC, 24-bit.
// - Otherwise a 32-bit float WAV file, which becomes RF64 when its data passes 4 GiB (libsndfile's
//   RF64 with auto-downgrade: a smaller file is a plain WAV file).
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/midi/byte_sink.h"

namespace quavr::platform::posix {

class AudioFile {
 public:
  // Opens the file over `sink`; `name` chooses FLAC. ok() says whether it worked.
  AudioFile(std::unique_ptr<ByteSink> sink, const std::string& name, std::uint32_t sampleRate);
  // Closes it, as close() does.
  ~AudioFile();
  AudioFile(const AudioFile&) = delete;
  AudioFile& operator=(const AudioFile&) = delete;

  bool ok() const { return file_ != nullptr && error_ == 0; }
  // Writes `frames` frames from separate left and right buffers; false on an error.
  bool write(const float* left, const float* right, std::size_t frames);
  // Fills in the sizes and closes; false on an error.
  bool close();
  // errno of the first error, or 0.
  int error() const { return error_; }
  ByteSink& sink() { return *sink_; }

 private:
  void fail();

  std::unique_ptr<ByteSink> sink_;
  SNDFILE* file_ = nullptr;
  int error_ = 0;
};

}  // namespace quavr::platform::posix
