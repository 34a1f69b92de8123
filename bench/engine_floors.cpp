// The floors, into a buffer allocated before the timing: copying the file's bytes, reading the
// file, and reading it then walking its events.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "bench/load_engine.h"
#include "bench/smf_walk.h"

namespace quavr::bench {

namespace {

class Floor : public LoadEngine {
 public:
  void enter(const SongFile& file) override { buffer_.resize(file.bytes.size()); }
  void leave() override { std::vector<std::uint8_t>().swap(buffer_); }

 protected:
  bool readFile(const SongFile& file) {
    const int fd = open(file.path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    std::size_t got = 0;
    while (got < buffer_.size()) {
      const ssize_t n = read(fd, buffer_.data() + got, buffer_.size() - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    close(fd);
    return got == buffer_.size();
  }

  std::vector<std::uint8_t> buffer_;
};

class MemcpyFloor final : public Floor {
 public:
  const char* name() const override { return "memcpy"; }
  bool load(const SongFile& file) override {
    std::memcpy(buffer_.data(), file.bytes.data(), file.bytes.size());
    return true;
  }
};

class ReadFloor final : public Floor {
 public:
  const char* name() const override { return "read"; }
  bool load(const SongFile& file) override { return readFile(file); }
};

class ReadWalkFloor final : public Floor {
 public:
  const char* name() const override { return "read+walk"; }
  bool load(const SongFile& file) override {
    SmfWalk walk;
    return readFile(file) && smf_walk(buffer_.data(), buffer_.size(), &walk) != 0 &&
           walk.events + walk.ticks != 0;
  }
};

}  // namespace

std::unique_ptr<LoadEngine> memcpyFloor() {
  return std::make_unique<MemcpyFloor>();
}
std::unique_ptr<LoadEngine> readFloor() {
  return std::make_unique<ReadFloor>();
}
std::unique_ptr<LoadEngine> readWalkFloor() {
  return std::make_unique<ReadWalkFloor>();
}

}  // namespace quavr::bench
