// What quavr-play says about its outputs: the devices and their file errors, and its own standard
// output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quavr::tools {

// "cannot write FILE: cause" for the first error of an output device's file, or empty.
std::string deviceOutputError();
// Every text of a QUAVR_DEVICE_ kind, index 0 on: the devices' names, the notes on those left out.
std::vector<std::string> deviceTexts(std::uint32_t kind);

enum class StdoutState { kFine, kClosed, kFailed };
// Flushes standard output: kClosed when its reader has gone (a closed pipe: the player ends
// quietly), kFailed on any other write error, which it reports on standard error once.
StdoutState flushStdout();

}  // namespace quavr::tools
