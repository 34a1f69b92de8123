// The file Quavr Synth renders into: the one QUAVR_WAV names (created or truncated), or else a new
// file in the working directory, created exclusively so that two players never share one:
// quavr-out.wav, or quavr-out-2.wav, quavr-out-3.wav… when it is taken.
#pragma once

#include <string>

namespace quavr::platform::posix {

struct AudioDestination {
  int fd = -1;          // open for writing, or -1 with `error` set
  std::string path;     // the file, for messages
  bool chosen = false;  // named by QUAVR_WAV, not picked here
  int error = 0;
};

AudioDestination openAudioDestination();

}  // namespace quavr::platform::posix
