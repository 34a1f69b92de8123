// Render synthesizers: FluidSynth with no audio driver, written by the render device's calls.
// Each is its own synthesizer (any number may be open, beside Quavr Synth), on one thread at a
// time (the device's lock), so FluidSynth's own locking is off. FluidSynth renders in 64-frame
// blocks and starts a message's sound at the next block, so onsets fall on a 64-frame grid of
// the synthesizer's own frame count: the same grid whatever sizes the frames are asked in.
#include <fluidsynth.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "platform/midi/fluid_glue.h"
#include "platform/platform.h"

namespace quavr::platform {

namespace {

struct RenderSynth {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  int block = 64;      // FluidSynth's block of frames
  int blockFrame = 0;  // frames written of the current block
  ~RenderSynth() {
    if (synth != nullptr) delete_fluid_synth(synth);
    if (settings != nullptr) delete_fluid_settings(settings);
  }
};

// The open synthesizers by handle. Looked up once per call under a short lock; the lookup does
// not allocate.
struct RenderTable {
  std::mutex lock;
  std::map<HRENDER, std::shared_ptr<RenderSynth>> open;
  HRENDER next = 0;
};

RenderTable& table() {
  static auto* t = new RenderTable;
  return *t;
}

RenderSynth* find(HRENDER handle) {
  RenderTable& t = table();
  std::lock_guard guard(t.lock);
  auto it = t.open.find(handle);
  return it == t.open.end() ? nullptr : it->second.get();
}

void reason(char* why, UINT size, const std::string& text) {
  if (why == nullptr || size == 0) return;
  std::snprintf(why, size, "%s", text.c_str());
}

}  // namespace

MMRESULT renderOpen(HRENDER* handle, UINT sampleRate, const char* soundfont, bool effects,
                    char* why, UINT whySize) {
  if (handle == nullptr) return MMSYSERR_INVALPARAM;
  const std::string path = soundfont == nullptr ? posix::defaultSoundfont() : soundfont;
  if (const std::string problem = posix::soundfontProblem(path); !problem.empty()) {
    reason(why, whySize, problem);
    return MMSYSERR_NODRIVER;
  }
  posix::silenceLibraries();
  auto made = std::make_shared<RenderSynth>();
  made->settings = new_fluid_settings();
  if (made->settings == nullptr) return MMSYSERR_NOMEM;
  fluid_settings_setnum(made->settings, "synth.sample-rate", sampleRate);
  fluid_settings_setint(made->settings, "synth.cpu-cores", 1);
  fluid_settings_setint(made->settings, "synth.threadsafe-api", 0);
  // FluidSynth built with OpenMP (Debian's) renders the effects in a parallel region, which
  // allocates and wakes a futex on every block even with one thread: off, nothing does.
  fluid_settings_setint(made->settings, "synth.reverb.active", effects ? 1 : 0);
  fluid_settings_setint(made->settings, "synth.chorus.active", effects ? 1 : 0);
  made->synth = new_fluid_synth(made->settings);
  if (made->synth == nullptr) return MMSYSERR_NOMEM;
  made->block = fluid_synth_get_internal_bufsize(made->synth);
  if (posix::loadSoundfont(made->synth, path) == FLUID_FAILED) {
    reason(why, whySize, path + " is a soundfont FluidSynth cannot load");
    return MMSYSERR_NODRIVER;
  }
  RenderTable& t = table();
  std::lock_guard guard(t.lock);
  do {
    t.next = t.next == 0xFFFFFFFFu ? 1 : t.next + 1;
  } while (t.open.contains(t.next));
  t.open[t.next] = std::move(made);
  *handle = t.next;
  return MMSYSERR_NOERROR;
}

MMRESULT renderClose(HRENDER handle) {
  std::shared_ptr<RenderSynth> closing;
  {
    RenderTable& t = table();
    std::lock_guard guard(t.lock);
    auto it = t.open.find(handle);
    if (it == t.open.end()) return MMSYSERR_INVALHANDLE;
    closing = std::move(it->second);
    t.open.erase(it);
  }
  return MMSYSERR_NOERROR;  // the synthesizer goes with `closing`, outside the table's lock
}

MMRESULT renderShortMsg(HRENDER handle, DWORD message) {
  RenderSynth* synth = find(handle);
  if (synth == nullptr) return MMSYSERR_INVALHANDLE;
  posix::applyMessage(synth->synth, static_cast<std::uint8_t>(message),
                      static_cast<std::uint8_t>(message >> 8),
                      static_cast<std::uint8_t>(message >> 16));
  return MMSYSERR_NOERROR;
}

MMRESULT renderLongMsg(HRENDER handle, const std::uint8_t* bytes, DWORD length) {
  RenderSynth* synth = find(handle);
  if (synth == nullptr) return MMSYSERR_INVALHANDLE;
  posix::applyLongMessage(synth->synth, bytes, length);
  return MMSYSERR_NOERROR;
}

// Written a block at most at a time, so FluidSynth renders every block on its own. Asked for
// more, it renders the blocks together and drops the voices that end among them in another
// order than block by block: the voices are then summed in another order, and a sample can
// differ in its last bit with the sizes the host asks for.
MMRESULT renderWrite(HRENDER handle, float* out, UINT frames) {
  RenderSynth* synth = find(handle);
  if (synth == nullptr) return MMSYSERR_INVALHANDLE;
  for (int left = static_cast<int>(frames); left > 0;) {
    const int n = std::min(left, synth->block - synth->blockFrame);
    if (fluid_synth_write_float(synth->synth, n, out, 0, 2, out, 1, 2) != FLUID_OK)
      return MMSYSERR_ERROR;
    synth->blockFrame = (synth->blockFrame + n) % synth->block;
    out += 2 * n;
    left -= n;
  }
  return MMSYSERR_NOERROR;
}

}  // namespace quavr::platform
