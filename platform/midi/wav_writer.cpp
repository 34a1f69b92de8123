#include "platform/midi/wav_writer.h"

#include <cstring>
#include <vector>

namespace quavr::platform::posix {

namespace {

void put16(std::uint8_t* at, std::uint16_t v) {
  at[0] = static_cast<std::uint8_t>(v);
  at[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* at, std::uint32_t v) {
  put16(at, static_cast<std::uint16_t>(v));
  put16(at + 2, static_cast<std::uint16_t>(v >> 16));
}

constexpr std::uint16_t kChannels = 2;
constexpr std::uint16_t kBytesPerSample = 4;
constexpr std::uint16_t kIeeeFloat = 3;

}  // namespace

WavWriter::WavWriter(const std::string& path, std::uint32_t sampleRate)
    : file_(std::fopen(path.c_str(), "wb")), sampleRate_(sampleRate) {
  if (file_ != nullptr) writeHeader();
}

WavWriter::~WavWriter() {
  if (file_ == nullptr) return;
  std::fseek(file_, 0, SEEK_SET);
  writeHeader();
  std::fclose(file_);
}

void WavWriter::writeHeader() {
  std::uint8_t h[44];
  const auto data = static_cast<std::uint32_t>(frames_ * kChannels * kBytesPerSample);
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, kIeeeFloat);
  put16(h + 22, kChannels);
  put32(h + 24, sampleRate_);
  put32(h + 28, sampleRate_ * kChannels * kBytesPerSample);
  put16(h + 32, kChannels * kBytesPerSample);
  put16(h + 34, 8 * kBytesPerSample);
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, data);
  std::fwrite(h, 1, sizeof h, file_);
}

void WavWriter::write(const float* left, const float* right, std::size_t frames) {
  if (file_ == nullptr || frames == 0) return;
  std::vector<float> interleaved(frames * kChannels);
  for (std::size_t i = 0; i < frames; ++i) {
    interleaved[2 * i] = left[i];
    interleaved[2 * i + 1] = right[i];
  }
  std::fwrite(interleaved.data(), sizeof(float), interleaved.size(), file_);
  frames_ += frames;
}

}  // namespace quavr::platform::posix
