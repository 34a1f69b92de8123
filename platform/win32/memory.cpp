#include "platform/win32/win32.h"

namespace quavr::platform {

using win32::narrow;
using win32::native;

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  return narrow(::GlobalAlloc(flags, bytes));
}
LPVOID GlobalLock(HGLOBAL block) {
  return ::GlobalLock(native<::HGLOBAL>(block));
}
BOOL GlobalUnlock(HGLOBAL block) {
  return ::GlobalUnlock(native<::HGLOBAL>(block));
}
HGLOBAL GlobalFree(HGLOBAL block) {
  return narrow(::GlobalFree(native<::HGLOBAL>(block)));
}
UINT GlobalFlags(HGLOBAL block) {
  return ::GlobalFlags(native<::HGLOBAL>(block));
}
SIZE_T GlobalSize(HGLOBAL block) {
  return ::GlobalSize(native<::HGLOBAL>(block));
}
HGLOBAL GlobalHandle(const void* address) {
  return narrow(::GlobalHandle(address));
}

}  // namespace quavr::platform
