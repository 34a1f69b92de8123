// What quavr-play says about its outputs: the devices' file errors, and its own standard output.
#pragma once

#include <string>

namespace quavr::tools {

// "cannot write FILE: cause" for the first error of an output device's file, or empty.
std::string deviceOutputError();

enum class StdoutState { kFine, kClosed, kFailed };
// Flushes standard output: kClosed when its reader has gone (a closed pipe: the player ends
// quietly), kFailed on any other write error, which it reports on standard error once.
StdoutState flushStdout();

}  // namespace quavr::tools
