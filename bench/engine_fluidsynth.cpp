// FluidSynth's MIDI player. fluid_player_add only queues the name: the file is read and parsed
// by the player's first callback, which the first rendered block runs. So a load is add, play
// and one block of 64 frames, on a synth with no audio driver and no soundfont.
#include <fluidsynth.h>

#include "bench/load_engine.h"

namespace quavr::bench {

namespace {

void quiet(int, const char*, void*) {}

class FluidSynthEngine final : public LoadEngine {
 public:
  FluidSynthEngine() {
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
      fluid_set_log_function(level, quiet, nullptr);
    settings_ = new_fluid_settings();
    fluid_settings_setstr(settings_, "player.timing-source", "sample");
    synth_ = new_fluid_synth(settings_);
  }
  ~FluidSynthEngine() override {
    delete_fluid_synth(synth_);
    delete_fluid_settings(settings_);
  }
  const char* name() const override { return "fluidsynth"; }
  // A fresh player for each load: a player plays its queue once.
  void prepare() override { player_ = new_fluid_player(synth_); }
  bool load(const SongFile& file) override {
    float left[kFrames];
    float right[kFrames];
    if (fluid_player_add(player_, file.path.c_str()) != FLUID_OK) return false;
    if (fluid_player_play(player_) != FLUID_OK) return false;
    fluid_synth_write_float(synth_, kFrames, left, 0, 1, right, 0, 1);
    // A file it refuses leaves the player playing nothing: no ticks.
    return fluid_player_get_total_ticks(player_) > 0;
  }
  void release() override {
    delete_fluid_player(player_);
    player_ = nullptr;
  }

 private:
  static constexpr int kFrames = 64;
  fluid_settings_t* settings_;
  fluid_synth_t* synth_;
  fluid_player_t* player_ = nullptr;
};

}  // namespace

std::unique_ptr<LoadEngine> fluidSynthEngine() {
  return std::make_unique<FluidSynthEngine>();
}

}  // namespace quavr::bench
