#include "song/song_image.h"

#include <cstring>

#include "base/block.h"

namespace quavr {

using namespace platform;

Image readSongFile(const char* path) {
  const HANDLE file =
      CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  HGLOBAL block = 0;
  BOOL read = 0;
  DWORD size = 0;
  if (GetFileType(file) == FILE_TYPE_DISK) {
    // Past 4 GiB the low word alone would name a prefix of the file.
    DWORD sizeHigh = 0;
    size = GetFileSize(file, &sizeHigh);
    if (sizeHigh != 0 || size == INVALID_FILE_SIZE) size = 0;
    // Not zero-filled: the read writes it, and a file that shrank since its size was taken
    // leaves zeros after what it still holds.
    if (size != 0) block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block != 0) {
      Resolved<std::uint8_t> bytes(block);
      DWORD got = 0;
      read = bytes && ReadFile(file, bytes.get(), size, &got, nullptr);
      if (read && got < size) std::memset(bytes.get() + got, 0, size - got);
    }
  }
  CloseHandle(file);
  if (!read) {
    GlobalFree(block);
    return {};
  }
  return {block, size};
}

Image readSongResource(HMODULE module, const char* name) {
  const HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(RT_RCDATA));
  if (resource == nullptr) return {};
  const DWORD size = SizeofResource(module, resource);
  if (size == 0) return {};
  const HRESDATA loaded = LoadResource(module, resource);
  if (loaded == nullptr) return {};
  const void* bytes = LockResource(loaded);
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (block == 0) return {};
  {
    Resolved<std::uint8_t> copy(block);
    if (copy && bytes != nullptr) {
      std::memcpy(copy.get(), bytes, size);
      return {block, size};
    }
  }
  GlobalFree(block);
  return {};
}

Image readSongMemory(const void* data, std::uint32_t size) {
  if (data == nullptr || size == 0) return {};
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (block == 0) return {};
  {
    Resolved<std::uint8_t> copy(block);
    if (copy) {
      std::memcpy(copy.get(), data, size);
      return {block, size};
    }
  }
  GlobalFree(block);
  return {};
}

}  // namespace quavr
