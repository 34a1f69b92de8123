// Quavr Synth's audio file writer over fake sinks: the RF64 switch past 4 GiB without writing
// 4 GiB anywhere, a stream into a pipe, and write errors with their errno.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/midi/audio_file.h"

namespace quavr::platform::posix {
namespace {

constexpr std::uint32_t kRate = 48000;

// A seekable (or not) file that keeps its first kKept bytes, where the headers are, and only
// counts the rest; optionally full after `capacity` bytes.
class CountingSink final : public ByteSink {
 public:
  static constexpr sf_count_t kKept = 1 << 16;
  explicit CountingSink(bool seekable = true, sf_count_t capacity = -1)
      : seekable_(seekable), capacity_(capacity) {}

  sf_count_t length() override { return length_; }
  sf_count_t seek(sf_count_t offset, int whence) override {
    if (!seekable_) return -1;
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? at_ : length_;
    at_ = base + offset;
    return at_;
  }
  sf_count_t read(void* bytes, sf_count_t count) override {
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, kept() - at_));
    if (n > 0) std::memcpy(bytes, head_.data() + at_, static_cast<std::size_t>(n));
    at_ += n;
    return n;
  }
  sf_count_t write(const void* bytes, sf_count_t count) override {
    if (capacity_ >= 0 && at_ + count > capacity_) {
      error = ENOSPC;
      return 0;
    }
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    for (sf_count_t i = 0; i < count && at_ + i < kKept; ++i) {
      if (head_.size() <= static_cast<std::size_t>(at_ + i)) head_.resize(at_ + i + 1);
      head_[static_cast<std::size_t>(at_ + i)] = from[i];
    }
    at_ += count;
    length_ = std::max(length_, at_);
    return count;
  }
  sf_count_t tell() override { return at_; }
  bool seekable() const override { return seekable_; }

  const std::vector<std::uint8_t>& head() const { return head_; }
  std::uint64_t u32(std::size_t at) const {
    std::uint32_t v;
    std::memcpy(&v, head_.data() + at, 4);
    return v;
  }
  std::uint64_t u64(std::size_t at) const {
    std::uint64_t v;
    std::memcpy(&v, head_.data() + at, 8);
    return v;
  }
  bool tag(std::size_t at, const char* id) const {
    return std::memcmp(head_.data() + at, id, 4) == 0;
  }
  // The offset of chunk `id` in a RIFF/RF64 file, or 0.
  std::size_t chunk(const char* id) const {
    for (std::size_t at = 12; at + 8 <= head_.size(); at += 8 + ((u32(at + 4) + 1) & ~1ull)) {
      if (tag(at, id)) return at;
      if (tag(at, "data")) break;
    }
    return 0;
  }

 private:
  sf_count_t kept() const { return static_cast<sf_count_t>(head_.size()); }
  bool seekable_;
  sf_count_t capacity_;
  sf_count_t at_ = 0;
  sf_count_t length_ = 0;
  std::vector<std::uint8_t> head_;
};

// Writes `frames` silent frames in large blocks; the sink's lengths say what was written.
void writeFrames(AudioFile& file, std::uint64_t frames) {
  static const std::vector<float> silence(1 << 18, 0.0f);
  while (frames > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, silence.size()));
    ASSERT_TRUE(file.write(silence.data(), silence.data(), n));
    frames -= n;
  }
}

TEST(AudioFileTest, DataPast4GiBMakesAnRf64FileWithTrue64BitSizesAndLessStaysPlainWav) {
  // 2^29 + 1000 frames of 8 bytes: 4 GiB + 8000 bytes of data, which wraps a 32-bit size.
  constexpr std::uint64_t kBigFrames = (1ull << 29) + 1000;
  for (const std::uint64_t frames : {std::uint64_t{48000}, kBigFrames}) {
    auto owned = std::make_unique<CountingSink>();
    CountingSink& sink = *owned;
    AudioFile file(std::move(owned), "big.wav", kRate);
    ASSERT_TRUE(file.ok());
    writeFrames(file, frames);
    ASSERT_TRUE(file.close());
    const std::uint64_t data = frames * 8;
    const std::size_t dataChunk = sink.chunk("data");
    ASSERT_NE(dataChunk, 0u);
    EXPECT_EQ(static_cast<std::uint64_t>(sink.length()), dataChunk + 8 + data) << frames;
    if (frames == kBigFrames) {
      ASSERT_TRUE(sink.tag(0, "RF64"));
      ASSERT_TRUE(sink.tag(12, "ds64"));
      EXPECT_EQ(sink.u64(20), static_cast<std::uint64_t>(sink.length()) - 8) << "RIFF size";
      EXPECT_EQ(sink.u64(28), data) << "data size";
      EXPECT_EQ(sink.u32(dataChunk + 4), 0xFFFFFFFFu) << "the 32-bit size defers to ds64";
    } else {
      ASSERT_TRUE(sink.tag(0, "RIFF"));
      EXPECT_EQ(sink.u32(4), static_cast<std::uint64_t>(sink.length()) - 8);
      EXPECT_EQ(sink.u32(dataChunk + 4), data);
    }
  }
}

TEST(AudioFileTest, IntoAPipeAStreamHeaderWithUnknownSizesThenOnlySamples) {
  auto owned = std::make_unique<CountingSink>(/*seekable=*/false);
  CountingSink& sink = *owned;
  AudioFile file(std::move(owned), "/dev/stdout", kRate);
  ASSERT_TRUE(file.ok());
  std::vector<float> left(1000, 0.25f);
  std::vector<float> right(1000, -0.5f);
  ASSERT_TRUE(file.write(left.data(), right.data(), left.size()));
  ASSERT_TRUE(file.close());
  ASSERT_EQ(sink.length(), 44 + 1000 * 8) << "no second header at the end";
  EXPECT_TRUE(sink.tag(0, "RIFF"));
  EXPECT_EQ(sink.u32(4), 0xFFFFFFFFu);
  EXPECT_TRUE(sink.tag(36, "data"));
  EXPECT_EQ(sink.u32(40), 0xFFFFFFFFu);
  EXPECT_EQ(sink.u32(20) & 0xFFFF, 3u) << "IEEE float";
  float first[2];
  std::memcpy(first, sink.head().data() + 44, sizeof first);
  EXPECT_EQ(first[0], 0.25f);
  EXPECT_EQ(first[1], -0.5f);
}

TEST(AudioFileTest, AFullDiskFailsTheWriteOrTheCloseWithItsErrno) {
  for (const sf_count_t capacity : {sf_count_t{0}, sf_count_t{100000}}) {
    auto owned = std::make_unique<CountingSink>(true, capacity);
    AudioFile file(std::move(owned), "full.wav", kRate);
    bool failed = !file.ok();
    std::vector<float> samples(4096, 0.1f);
    for (int i = 0; i < 10 && !failed; ++i)
      failed = !file.write(samples.data(), samples.data(), 4096);
    failed = !file.close() || failed;
    EXPECT_TRUE(failed) << capacity;
    EXPECT_EQ(file.error(), ENOSPC) << capacity;
  }
}

}  // namespace
}  // namespace quavr::platform::posix
