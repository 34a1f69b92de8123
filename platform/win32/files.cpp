#include "platform/win32/win32.h"

namespace quavr::platform {

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security, DWORD creation,
                   DWORD attributes, HANDLE templateFile) {
  return ::CreateFileA(path, access, share, static_cast<::LPSECURITY_ATTRIBUTES>(security),
                       creation, attributes, templateFile);
}
DWORD GetFileType(HANDLE file) {
  return ::GetFileType(file);
}
DWORD GetFileSize(HANDLE file, DWORD* high) {
  return ::GetFileSize(file, reinterpret_cast<::LPDWORD>(high));
}
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped) {
  return ::ReadFile(file, buffer, bytes, reinterpret_cast<::LPDWORD>(read),
                    static_cast<::LPOVERLAPPED>(overlapped));
}
BOOL CloseHandle(HANDLE file) {
  return ::CloseHandle(file);
}

}  // namespace quavr::platform
