#include "tools/terminal.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace quavr::tools {

bool Keys::foreground(int fd) {
  return isatty(fd) && tcgetpgrp(fd) == getpgrp();
}

Keys::Keys() : terminal_(isatty(STDIN_FILENO) != 0) {
  follow();
}

Keys::~Keys() {
  release();
}

void Keys::follow() {
  if (!terminal_) return;
  const bool front = foreground(STDIN_FILENO);
  if (front && !raw_) {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  } else if (!front && raw_) {
    release();
  }
}

void Keys::release() {
  if (!raw_) return;
  // From the background (after `bg`) setting the mode raises SIGTTOU: ignore it meanwhile.
  struct sigaction ignore {};
  struct sigaction old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGTTOU, &ignore, &old);
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  sigaction(SIGTTOU, &old, nullptr);
  raw_ = false;
}

void Keys::suspend() {
  release();
  raise(SIGSTOP);
  follow();
}

char Keys::wait(int ms) {
  if (!raw_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return 0;
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  char key = 0;
  if (poll(&in, 1, ms) > 0 && read(STDIN_FILENO, &key, 1) != 1) key = 0;
  return key;
}

int terminalWidth(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace quavr::tools
