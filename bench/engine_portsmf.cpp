// portsmf: an Alg_seq read from the file, its events then converted from beats to seconds (the
// reader leaves them in beats; every other engine here has them timed).
#include <cstring>  // allegro.h uses memcpy without including it

#include <allegro.h>

#include "bench/load_engine.h"

namespace quavr::bench {

namespace {

class PortSmfEngine final : public LoadEngine {
 public:
  const char* name() const override { return "portsmf"; }
  bool load(const SongFile& file) override {
    seq_ = std::make_unique<Alg_seq>(file.path.c_str(), true);
    if (seq_->get_read_error() != alg_no_error) return false;
    seq_->convert_to_seconds();
    return true;
  }
  void release() override { seq_.reset(); }

 private:
  std::unique_ptr<Alg_seq> seq_;
};

}  // namespace

std::unique_ptr<LoadEngine> portSmfEngine() {
  return std::make_unique<PortSmfEngine>();
}

}  // namespace quavr::bench
