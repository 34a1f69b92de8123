// Whole-file reading on Linux. File handles are descriptors offset by one, so no valid handle is
// null or INVALID_HANDLE_VALUE.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/platform.h"

namespace quavr::platform {

namespace {
int descriptorOf(HANDLE file) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
}
}  // namespace

HANDLE CreateFileA(const char* path, DWORD access, DWORD, void*, DWORD creation, DWORD, HANDLE) {
  if (path == nullptr || access != GENERIC_READ || creation != OPEN_EXISTING) {
    return INVALID_HANDLE_VALUE;
  }
  // Non-blocking, so that opening a FIFO with no writer does not hang; nothing but a regular
  // file is ever read.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1);
}

DWORD GetFileType(HANDLE file) {
  struct stat info {};
  if (fstat(descriptorOf(file), &info) != 0) return FILE_TYPE_UNKNOWN;
  if (S_ISREG(info.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  struct stat info {};
  if (fstat(descriptorOf(file), &info) != 0) return INVALID_FILE_SIZE;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* bytesRead, void*) {
  DWORD total = 0;
  while (total < bytes) {
    const ssize_t got =
        ::read(descriptorOf(file), static_cast<char*>(buffer) + total, bytes - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      if (bytesRead != nullptr) *bytesRead = total;
      return 0;
    }
    if (got == 0) break;
    total += static_cast<DWORD>(got);
  }
  if (bytesRead != nullptr) *bytesRead = total;
  return 1;
}

BOOL CloseHandle(HANDLE file) {
  return ::close(descriptorOf(file)) == 0 ? 1 : 0;
}

}  // namespace quavr::platform
