// WildMIDI: WildMidi_Open reads the file and builds its timed event list. It also loads the
// patches the song uses; a second handle kept open on the same file while the loads are timed
// keeps them loaded, so only the song's load is timed.
#include <wildmidi_lib.h>

#include <cstdio>

#include "bench/load_engine.h"

namespace quavr::bench {

namespace {

class WildMidiEngine final : public LoadEngine {
 public:
  explicit WildMidiEngine(const std::string& config)
      : ready_(WildMidi_Init(config.c_str(), 44100, 0) == 0) {
    if (!ready_) std::fprintf(stderr, "wildmidi: no start with %s\n", config.c_str());
  }
  ~WildMidiEngine() override {
    if (ready_) WildMidi_Shutdown();
  }
  const char* name() const override { return "wildmidi"; }
  void enter(const SongFile& file) override {
    if (ready_) keeper_ = WildMidi_Open(file.path.c_str());
  }
  void leave() override {
    if (keeper_ != nullptr) WildMidi_Close(keeper_);
    keeper_ = nullptr;
  }
  bool load(const SongFile& file) override {
    song_ = ready_ ? WildMidi_Open(file.path.c_str()) : nullptr;
    return song_ != nullptr;
  }
  void release() override {
    if (song_ != nullptr) WildMidi_Close(song_);
    song_ = nullptr;
  }

 private:
  bool ready_;
  midi* keeper_ = nullptr;
  midi* song_ = nullptr;
};

}  // namespace

std::unique_ptr<LoadEngine> wildMidiEngine(const std::string& config) {
  return std::make_unique<WildMidiEngine>(config);
}

}  // namespace quavr::bench
