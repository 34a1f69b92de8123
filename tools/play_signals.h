// The signals quavr-play handles: those that end it (INT, TERM, HUP, QUIT: the port is reset
// first), Ctrl-Z (the terminal is given back before the player stops), and SIGPIPE, ignored so a
// closed pipe is a write error the player can act on.
#pragma once

namespace quavr::tools {

void catchSignals();
// The signal that asks the player to end, or 0.
int endingSignal();
// Whether Ctrl-Z (SIGTSTP) came since the last call.
bool suspendAsked();

}  // namespace quavr::tools
