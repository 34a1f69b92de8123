// libsmf: smf_load parses every track and times every event in seconds. Its load time grows
// with the square of a track's length, so files above a size are not given to it.
#include <glib.h>  // before smf.h, which would include it inside extern "C"
#include <smf.h>

#include "bench/load_engine.h"

namespace quavr::bench {

namespace {

void quietGlib(const char*, GLogLevelFlags, const char*, gpointer) {}

class LibSmfEngine final : public LoadEngine {
 public:
  explicit LibSmfEngine(std::uintmax_t maxBytes) : maxBytes_(maxBytes) {
    g_log_set_default_handler(quietGlib, nullptr);  // it complains about odd files
  }
  const char* name() const override { return "libsmf"; }
  std::uintmax_t maxBytes() const override { return maxBytes_; }
  bool load(const SongFile& file) override {
    smf_ = smf_load(file.path.c_str());
    return smf_ != nullptr;
  }
  void release() override {
    if (smf_ != nullptr) smf_delete(smf_);
    smf_ = nullptr;
  }

 private:
  std::uintmax_t maxBytes_;
  smf_t* smf_ = nullptr;
};

}  // namespace

std::unique_ptr<LoadEngine> libSmfEngine(std::uintmax_t maxBytes) {
  return std::make_unique<LibSmfEngine>(maxBytes);
}

}  // namespace quavr::bench
