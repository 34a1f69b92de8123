#include "song/song_loading.h"

#include <cstring>

#include "interface/block.h"
#include "interface/shared_value.h"
#include "song/records.h"
#include "song/song_registry.h"
#include "song/tempo_map.h"
#include "song/track_expansion.h"

namespace quavr {

using namespace platform;

namespace {

constexpr std::uint32_t kHeaderChunkSize = 14;
constexpr std::uint32_t kChunkHeaderSize = 8;

// Numbers in the file are big-endian. The image is only read, never rewritten: an event that
// runs over the next chunk's header must copy the file's bytes, not converted ones.
std::uint32_t bigEndian(const std::uint8_t* at, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | at[i];
  return value;
}

std::uint32_t checkHeaderChunk(const std::uint8_t* bytes, std::uint64_t available) {
  return available >= kHeaderChunkSize && std::memcmp(bytes, "MThd", 4) == 0 ? kHeaderChunkSize : 0;
}

std::uint32_t checkTrackChunk(const std::uint8_t* bytes, std::uint64_t available) {
  return available >= kChunkHeaderSize && std::memcmp(bytes, "MTrk", 4) == 0 ? kChunkHeaderSize : 0;
}

HGLOBAL newSong() {
  return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(Song));
}

// Frees every track's blocks, then the track table. A block whose free fails keeps its handle in
// its field, so that a later delete tries only what is left. True when everything was freed.
bool freeSongData(HGLOBAL songHandle) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  if (song->trackTable == 0) return true;
  bool freed = true;
  {
    Resolved<Track> tracks(song->trackTable);
    if (!tracks && song->trackCount != 0) return false;
    for (std::uint32_t t = 0; t < song->trackCount; ++t) {
      tracks[t].dataBlock = GlobalFree(tracks[t].dataBlock);
      tracks[t].eventBlock = GlobalFree(tracks[t].eventBlock);
      freed = freed && tracks[t].dataBlock == 0 && tracks[t].eventBlock == 0;
    }
  }
  if (freed) song->trackTable = GlobalFree(song->trackTable);
  return freed && song->trackTable == 0;
}

}  // namespace

Registry<LoadedSong>& loadedSongs() {
  static auto* songs = new Registry<LoadedSong>;  // a timer thread may outlive static destructors
  return *songs;
}

Image readSongFile(const char* path) {
  const HANDLE file =
      CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  HGLOBAL block = 0;
  BOOL read = 0;
  DWORD size = 0;
  if (GetFileType(file) == FILE_TYPE_DISK) {
    size = GetFileSize(file, nullptr);
    if (size != 0) block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block != 0) {
      Resolved<std::uint8_t> bytes(block);
      DWORD got = 0;
      read = bytes && ReadFile(file, bytes.get(), size, &got, nullptr);
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

bool readSongStructure(HGLOBAL songHandle, Image image) {
  Resolved<Song> song(songHandle);
  Resolved<std::uint8_t> bytes(image.block);
  if (!song || !bytes) return false;
  if (checkHeaderChunk(bytes.get(), image.size) == 0) return true;  // not a MIDI file: no tracks
  song->format = bigEndian(bytes.get() + 8, 2);
  song->trackCount = bigEndian(bytes.get() + 10, 2);
  song->division = bigEndian(bytes.get() + 12, 2);
  // Fewer bytes than the chunk headers alone need: a chunk is missing, so no table is made.
  if (std::uint64_t{song->trackCount} * kChunkHeaderSize > image.size - kHeaderChunkSize) {
    song->trackCount = 0;
    return true;
  }
  song->trackTable = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, song->trackCount * sizeof(Track));
  if (song->trackTable == 0) return false;
  // A table of no tracks is a block of no bytes, which need not resolve (on Windows it does not).
  Resolved<Track> tracks(song->trackTable);
  if (!tracks && song->trackCount != 0) return false;
  const std::uint8_t* imageEnd = bytes.get() + image.size;
  std::uint64_t chunk = kHeaderChunkSize;
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    if (chunk > image.size || checkTrackChunk(bytes.get() + chunk, image.size - chunk) == 0) {
      tracks.reset();
      song->trackTable = GlobalFree(song->trackTable);
      song->trackCount = 0;
      return song->trackTable == 0;
    }
    const std::uint32_t length = bigEndian(bytes.get() + chunk + 4, 4);
    tracks[t].data = bytes.get() + chunk + kChunkHeaderSize;
    measureTrack(tracks[t], length, imageEnd);
    chunk += kChunkHeaderSize + std::uint64_t{length};
  }
  return true;
}

HGLOBAL loadSong(Image image) {
  if (image.block == 0) return 0;
  const HGLOBAL song = newSong();
  const bool built = song != 0 && readSongStructure(song, image) &&
                     expandSong(song, image.block, image.size) && timeSong(song);
  GlobalFree(image.block);
  if (!built) {
    if (song != 0 && freeSongData(song)) GlobalFree(song);
    return 0;
  }
  loadedSongs().add(song, {});
  return song;
}

HGLOBAL deleteSong(HGLOBAL song) {
  HGLOBAL result = song;
  loadedSongs().visit(song, [&](LoadedSong&) {
    // A bound song stays resolved by its device until it is unbound.
    if ((GlobalFlags(song) & GMEM_LOCKCOUNT) != 0 || !freeSongData(song)) return false;
    result = GlobalFree(song);
    return result == 0;
  });
  return result;
}

std::uint32_t songLength(HGLOBAL songHandle) {
  std::uint32_t length = 0;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (song) length = load(song->lengthMs);
  });
  return length;
}

}  // namespace quavr
