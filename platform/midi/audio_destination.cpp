#include "platform/midi/audio_destination.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>

namespace quavr::platform::posix {

AudioDestination openAudioDestination() {
  AudioDestination out;
  const char* chosen = std::getenv("QUAVR_WAV");
  if (chosen != nullptr && *chosen != '\0') {
    out.path = chosen;
    out.chosen = true;
    out.fd = open(chosen, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out.fd < 0) out.error = errno;
    return out;
  }
  // A bound, so a directory that refuses everything ends the search.
  for (int n = 1; n <= 999; ++n) {
    out.path = n == 1 ? "quavr-out.wav" : "quavr-out-" + std::to_string(n) + ".wav";
    out.fd = open(out.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out.fd >= 0) return out;
    if (errno != EEXIST) break;
  }
  out.error = errno;
  return out;
}

}  // namespace quavr::platform::posix
