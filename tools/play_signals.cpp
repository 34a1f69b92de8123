#include "tools/play_signals.h"

#include <signal.h>

#include <atomic>

namespace quavr::tools {

namespace {

std::atomic<int> gEnding{0};
std::atomic<bool> gSuspend{false};

extern "C" void onEnding(int number) {
  gEnding = number;
}

extern "C" void onSuspend(int) {
  gSuspend = true;
}

}  // namespace

void catchSignals() {
  struct sigaction action {};
  action.sa_handler = onEnding;
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(number, &action, nullptr);
  action.sa_handler = onSuspend;
  sigaction(SIGTSTP, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
}

int endingSignal() {
  return gEnding;
}

bool suspendAsked() {
  return gSuspend.exchange(false);
}

}  // namespace quavr::tools
