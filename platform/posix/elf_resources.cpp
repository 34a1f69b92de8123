// Module resources on Linux: a resource is an exported object of its module, found with dlsym.
// Module 0 is the main program.
#include <dlfcn.h>
#include <link.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/elf_resource.h"

namespace quavr::platform {

namespace posix {

std::string resourceSymbol(const char* name) {
  if (name == nullptr) return {};
  if (IS_INTRESOURCE(name)) {
    return "quavr_rsrc_i_" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
  }
  if (name[0] == '#' && name[1] != '\0') {
    char* end = nullptr;
    const unsigned long id = std::strtoul(name + 1, &end, 10);
    if (*end == '\0' && id < 65536) return "quavr_rsrc_i_" + std::to_string(id);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string symbol = "quavr_rsrc_s_";
  for (const char* p = name; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(*p)));
    symbol += kHex[c >> 4];
    symbol += kHex[c & 15];
  }
  return symbol;
}

}  // namespace posix

namespace {

// Whether `module` is the handle of a module loaded now. dlsym on anything else reads through
// a wild pointer, and a handle is no address to look up: the loader gives each loaded module's
// handle back to dlopen(name, RTLD_NOLOAD), which neither loads nor runs anything.
bool loadedModule(void* module) {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* out) {
        if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
          static_cast<std::vector<std::string>*>(out)->emplace_back(info->dlpi_name);
        return 0;
      },
      &names);
  for (const std::string& name : names) {  // opened outside the iteration, which holds a lock
    void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) continue;
    dlclose(handle);  // only the reference just taken
    if (handle == module) return true;
  }
  return false;
}

}  // namespace

HRSRC FindResourceA(HMODULE module, const char* name, const char* type) {
  if (!IS_INTRESOURCE(type) || reinterpret_cast<std::uintptr_t>(type) != RT_RCDATA) return nullptr;
  const std::string symbol = posix::resourceSymbol(name);
  if (symbol.empty()) return nullptr;
  static void* const mainProgram = dlopen(nullptr, RTLD_LAZY);
  void* scope = module == nullptr ? mainProgram : module;
  if (scope != mainProgram && !loadedModule(scope)) return nullptr;
  return dlsym(scope, symbol.c_str());
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) return 0;
  const auto* r = static_cast<const posix::EmbeddedResource*>(resource);
  return static_cast<DWORD>(r->end - r->begin);
}

HRESDATA LoadResource(HMODULE, HRSRC resource) {
  return resource;
}

const void* LockResource(HRESDATA data) {
  return data == nullptr ? nullptr : static_cast<const posix::EmbeddedResource*>(data)->begin;
}

}  // namespace quavr::platform
