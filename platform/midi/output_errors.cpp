// The first write error of any output device, kept for the tools: a device that cannot write
// returns an error result to the core, and this says which file and why.
#include <mutex>

#include "platform/midi/output.h"
#include "platform/platform_info.h"

namespace quavr::platform::posix {

namespace {

std::mutex gMutex;
OutputError gFirst;  // guarded by gMutex

}  // namespace

void noteOutputError(const std::string& path, int error) {
  std::lock_guard guard(gMutex);
  if (gFirst.error == 0) gFirst = {path, error};
}

OutputError firstOutputError() {
  std::lock_guard guard(gMutex);
  return gFirst;
}

}  // namespace quavr::platform::posix
