// quavr-play's keys while a song plays: volume (up/down arrows), seek 5 s back and forward
// (left/right arrows), fade out and stop (f), tempo ([ and ]), mute of channels 1-10 (the
// digits, 0 for 10), pause (space), the next song (n, queued by the player) and quit (q).
#pragma once

#include "include/quavr.h"

namespace quavr::tools {

enum class KeyAction { kNone, kPause, kNext, kQuit };

class PlayKeys {
 public:
  // Acts on one byte read from the terminal (arrows come as ESC [ A..D); what is left for the
  // player to do.
  KeyAction press(QuavrDevice device, char key);

 private:
  int escape_ = 0;  // bytes of an arrow's sequence seen so far
};

}  // namespace quavr::tools
