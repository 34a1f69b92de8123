// One way of loading a song, as load_bench times it: the time from the file's name (or bytes) to
// a song ready to play, and apart from it the time to free that song. Setup an engine must not
// be timed for (patches, a player object, a buffer) happens in enter, prepare and leave.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quavr::bench {

struct SongFile {
  std::string path;
  std::vector<std::uint8_t> bytes;  // read before any timing, for the floors that need them
};

class LoadEngine {
 public:
  virtual ~LoadEngine() = default;
  virtual const char* name() const = 0;
  // Files larger than this are not given to the engine (it would take minutes).
  virtual std::uintmax_t maxBytes() const { return UINTMAX_MAX; }
  // Around a run of loads of one file, untimed.
  virtual void enter(const SongFile&) {}
  virtual void leave() {}
  // Before each load, untimed.
  virtual void prepare() {}
  // Timed as the load: loads the file; false when the engine refuses it.
  virtual bool load(const SongFile& file) = 0;
  // Timed as the free: frees what the last load made.
  virtual void release() {}
};

std::unique_ptr<LoadEngine> quavrEngine();
std::unique_ptr<LoadEngine> wildMidiEngine(const std::string& config);
std::unique_ptr<LoadEngine> fluidSynthEngine();
std::unique_ptr<LoadEngine> portSmfEngine();
std::unique_ptr<LoadEngine> libSmfEngine(std::uintmax_t maxBytes);
// The floors: what any loader must at least do.
std::unique_ptr<LoadEngine> memcpyFloor();
std::unique_ptr<LoadEngine> readFloor();
std::unique_ptr<LoadEngine> readWalkFloor();

}  // namespace quavr::bench
