#include "platform/midi/byte_sink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quavr::platform::posix {

FdSink::FdSink(int fd) : fd_(fd) {
  struct stat st {};
  seekable_ = fstat(fd, &st) == 0 && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode) &&
              lseek(fd, 0, SEEK_CUR) >= 0;
}

FdSink::~FdSink() {
  finish();
}

bool FdSink::finish() {
  if (fd_ < 0) return error == 0;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  return error == 0;
}

sf_count_t FdSink::length() {
  struct stat st {};
  if (!seekable_) return streamed_;
  return fstat(fd_, &st) == 0 ? st.st_size : -1;
}

sf_count_t FdSink::seek(sf_count_t offset, int whence) {
  if (!seekable_) return whence == SEEK_CUR && offset == 0 ? streamed_ : -1;
  return lseek(fd_, offset, whence);
}

sf_count_t FdSink::read(void* bytes, sf_count_t count) {
  const ssize_t got = ::read(fd_, bytes, static_cast<std::size_t>(count));
  return got < 0 ? 0 : got;
}

sf_count_t FdSink::write(const void* bytes, sf_count_t count) {
  const auto* at = static_cast<const char*>(bytes);
  sf_count_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(fd_, at + done, static_cast<std::size_t>(count - done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (error == 0) error = put < 0 ? errno : EIO;
      break;
    }
    done += put;
  }
  streamed_ += done;
  return done;
}

sf_count_t FdSink::tell() {
  return seekable_ ? lseek(fd_, 0, SEEK_CUR) : streamed_;
}

}  // namespace quavr::platform::posix
