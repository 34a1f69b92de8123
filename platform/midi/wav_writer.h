// A WAV file of 32-bit float stereo frames, its sizes filled in when it is closed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quavr::platform::posix {

class WavWriter {
 public:
  WavWriter(const std::string& path, std::uint32_t sampleRate);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool ok() const { return file_ != nullptr; }
  // Writes `frames` frames from separate left and right buffers.
  void write(const float* left, const float* right, std::size_t frames);

 private:
  void writeHeader();

  std::FILE* file_;
  std::uint32_t sampleRate_;
  std::uint64_t frames_ = 0;
};

}  // namespace quavr::platform::posix
