#include "tools/output_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "include/quavr.h"

namespace quavr::tools {

std::string deviceText(std::uint32_t kind, std::uint32_t index) {
  const std::int32_t length = bgmGetDeviceText(kind, index, nullptr, 0);
  if (length < 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  bgmGetDeviceText(kind, index, text.data(), static_cast<std::uint32_t>(text.size()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string deviceOutputError() {
  return deviceText(QUAVR_DEVICE_ERROR, 0);
}

std::vector<std::string> deviceTexts(std::uint32_t kind) {
  std::vector<std::string> texts;
  for (std::uint32_t i = 0; bgmGetDeviceText(kind, i, nullptr, 0) >= 0; ++i)
    texts.push_back(deviceText(kind, i));
  return texts;
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
