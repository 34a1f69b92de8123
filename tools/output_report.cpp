#include "tools/output_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform_info.h"

namespace quavr::tools {

std::string deviceOutputError() {
  const platform::posix::OutputError error = platform::posix::firstOutputError();
  if (error.error == 0) return {};
  return "cannot write " + error.path + ": " + std::strerror(error.error);
}

StdoutState flushStdout() {
  static bool reported = false;
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return StdoutState::kFine;
  if (errno == EPIPE) return StdoutState::kClosed;
  if (!reported) {
    std::fprintf(stderr, "quavr-play: cannot write standard output: %s\n",
                 std::strerror(errno == 0 ? EIO : errno));
    reported = true;
  }
  return StdoutState::kFailed;
}

}  // namespace quavr::tools
