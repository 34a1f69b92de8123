// quavr-play's terminal: single-key mode while the player is the terminal's foreground job (a
// background job that touched the terminal's mode would be stopped by SIGTTOU), given back on
// Ctrl-Z and taken again on fg; and the terminal's width for the progress line.
#pragma once

#include <termios.h>

namespace quavr::tools {

class Keys {
 public:
  Keys();
  // Gives the terminal back.
  ~Keys();
  Keys(const Keys&) = delete;
  Keys& operator=(const Keys&) = delete;

  // Takes or gives back single-key mode as the job moves between foreground and background.
  void follow();
  // Gives the terminal back, stops the process as Ctrl-Z asked, and on SIGCONT goes on.
  void suspend();
  // The key pressed within `ms` milliseconds, or 0.
  char wait(int ms);
  // Whether this process is the terminal's foreground job (false without a terminal).
  static bool foreground(int fd);

 private:
  void release();

  bool terminal_;
  bool raw_ = false;
  termios saved_{};
};

// The width of the terminal on `fd`, or 0 when it has none. Asked afresh each time, so a resized
// window (SIGWINCH) is followed at the next line.
int terminalWidth(int fd);

}  // namespace quavr::tools
