// Quavr through its public API, as a host loads a song.
#include "bench/load_engine.h"
#include "include/quavr.h"

namespace quavr::bench {

namespace {

class QuavrEngine final : public LoadEngine {
 public:
  const char* name() const override { return "quavr"; }
  bool load(const SongFile& file) override {
    song_ = bgmGetSongFile(file.path.c_str());
    return song_ != 0;
  }
  void release() override {
    if (song_ != 0) bgmDeleteSong(song_);
    song_ = 0;
  }

 private:
  QuavrSong song_ = 0;
};

}  // namespace

std::unique_ptr<LoadEngine> quavrEngine() {
  return std::make_unique<QuavrEngine>();
}

}  // namespace quavr::bench
