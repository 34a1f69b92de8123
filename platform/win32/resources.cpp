#include "platform/win32/win32.h"

namespace quavr::platform {

HRSRC FindResourceA(HMODULE module, const char* name, const char* type) {
  return ::FindResourceA(static_cast<::HMODULE>(module), name, type);
}
DWORD SizeofResource(HMODULE module, HRSRC resource) {
  return ::SizeofResource(static_cast<::HMODULE>(module),
                          static_cast<::HRSRC>(const_cast<void*>(resource)));
}
HRESDATA LoadResource(HMODULE module, HRSRC resource) {
  return ::LoadResource(static_cast<::HMODULE>(module),
                        static_cast<::HRSRC>(const_cast<void*>(resource)));
}
const void* LockResource(HRESDATA data) {
  return ::LockResource(static_cast<::HGLOBAL>(const_cast<void*>(data)));
}

}  // namespace quavr::platform
