// Where an audio file's bytes go, as libsndfile's virtual I/O sees it: a file descriptor here, a
// counting fake in the tests (a 4 GiB file that keeps only its header).
#pragma once

#include <sndfile.h>

namespace quavr::platform::posix {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual sf_count_t length() = 0;
  // The new position, or -1 when the sink cannot move there.
  virtual sf_count_t seek(sf_count_t offset, int whence) = 0;
  virtual sf_count_t read(void* bytes, sf_count_t count) = 0;
  // The bytes written; fewer on an error, whose errno is kept in `error`.
  virtual sf_count_t write(const void* bytes, sf_count_t count) = 0;
  virtual sf_count_t tell() = 0;
  // False for a pipe or a socket: the header cannot be rewritten at the end.
  virtual bool seekable() const = 0;
  // Called once the file is complete: false (and `error`) on a late error.
  virtual bool finish() { return error == 0; }

  int error = 0;  // errno of the first failed write
};

// A sink over `fd`, which it closes.
class FdSink final : public ByteSink {
 public:
  explicit FdSink(int fd);
  ~FdSink() override;
  FdSink(const FdSink&) = delete;
  FdSink& operator=(const FdSink&) = delete;

  sf_count_t length() override;
  sf_count_t seek(sf_count_t offset, int whence) override;
  sf_count_t read(void* bytes, sf_count_t count) override;
  sf_count_t write(const void* bytes, sf_count_t count) override;
  sf_count_t tell() override;
  bool seekable() const override { return seekable_; }
  // Closes the descriptor; false (and `error`) when the kernel reports a late write error.
  bool finish() override;

 private:
  int fd_;
  bool seekable_;
  sf_count_t streamed_ = 0;  // bytes written, where the descriptor cannot tell
};

}  // namespace quavr::platform::posix
