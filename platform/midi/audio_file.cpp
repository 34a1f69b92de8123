#include "platform/midi/audio_file.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace quavr::platform::posix {

namespace {

// libsndfile's virtual I/O, forwarded to the sink.
ByteSink& sinkOf(void* user) {
  return *static_cast<ByteSink*>(user);
}
SF_VIRTUAL_IO kSinkIo = {
    [](void* user) { return sinkOf(user).length(); },
    [](sf_count_t offset, int whence, void* user) { return sinkOf(user).seek(offset, whence); },
    [](void* bytes, sf_count_t count, void* user) { return sinkOf(user).read(bytes, count); },
    [](const void* bytes, sf_count_t count, void* user) {
      return sinkOf(user).write(bytes, count);
    },
    [](void* user) { return sinkOf(user).tell(); },
};

constexpr int kChannels = 2;

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void put16(std::uint8_t* at, std::uint16_t v) {
  at[0] = static_cast<std::uint8_t>(v);
  at[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* at, std::uint32_t v) {
  put16(at, static_cast<std::uint16_t>(v));
  put16(at + 2, static_cast<std::uint16_t>(v >> 16));
}

// A float WAV header whose sizes say "unknown", as streamed WAV readers expect; libsndfile writes
// no WAV into a pipe, so the samples follow as raw little-endian floats.
bool writeStreamHeader(ByteSink& sink, std::uint32_t rate) {
  std::uint8_t h[44];
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 0xFFFFFFFF);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 3);  // IEEE float
  put16(h + 22, kChannels);
  put32(h + 24, rate);
  put32(h + 28, rate * kChannels * 4);
  put16(h + 32, kChannels * 4);
  put16(h + 34, 32);
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, 0xFFFFFFFF);
  return sink.write(h, sizeof h) == static_cast<sf_count_t>(sizeof h);
}

}  // namespace

AudioFile::AudioFile(std::unique_ptr<ByteSink> sink, const std::string& name,
                     std::uint32_t sampleRate)
    : sink_(std::move(sink)) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(sampleRate);
  info.channels = kChannels;
  if (!sink_->seekable()) {
    if (!writeStreamHeader(*sink_, sampleRate)) {
      fail();
      return;
    }
    info.format = SF_FORMAT_RAW | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE;
  } else if (endsWith(name, ".flac")) {
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  } else {
    info.format = SF_FORMAT_RF64 | SF_FORMAT_FLOAT;
  }
  file_ = sf_open_virtual(&kSinkIo, SFM_WRITE, &info, sink_.get());
  if (file_ == nullptr) {
    fail();
    return;
  }
  sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64) {
    sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  }
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioFile::~AudioFile() {
  close();
}

void AudioFile::fail() {
  if (error_ == 0) error_ = sink_->error != 0 ? sink_->error : EIO;
}

bool AudioFile::write(const float* left, const float* right, std::size_t frames) {
  if (!ok()) return false;
  std::vector<float> interleaved(frames * kChannels);
  for (std::size_t i = 0; i < frames; ++i) {
    interleaved[2 * i] = left[i];
    interleaved[2 * i + 1] = right[i];
  }
  const auto count = static_cast<sf_count_t>(frames);
  if (sf_writef_float(file_, interleaved.data(), count) != count || sink_->error != 0) fail();
  return ok();
}

bool AudioFile::close() {
  if (file_ != nullptr) {
    if (sf_close(file_) != 0 || sink_->error != 0) fail();
    file_ = nullptr;
  }
  if (!sink_->finish()) fail();
  return error_ == 0;
}

}  // namespace quavr::platform::posix
