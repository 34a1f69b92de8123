#include "song/song_loading.h"

#include <cstring>

#include "base/block.h"
#include "base/shared_value.h"
#include "song/loop_points.h"
#include "song/records.h"
#include "song/rmid.h"
#include "song/smf_chunks.h"
#include "song/song_registry.h"
#include "song/tempo_map.h"
#include "song/track_expansion.h"

namespace quavr {

using namespace platform;

namespace {

HGLOBAL newSong() {
  return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(Song));
}

// Frees every track's blocks, then the track table. A block whose free fails keeps its handle in
// its field, so that a later delete tries only what is left. True when everything was freed.
bool freeSongData(HGLOBAL songHandle) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  song->titleBlock = GlobalFree(song->titleBlock);
  song->loopBlock = GlobalFree(song->loopBlock);
  song->markBlock = GlobalFree(song->markBlock);
  song->markerBlock = GlobalFree(song->markerBlock);
  if (song->titleBlock != 0 || song->loopBlock != 0 || song->markBlock != 0 ||
      song->markerBlock != 0)
    return false;
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

// The structure pass: header, track table, and the sizing pass over every track chunk, which
// leaves each track's `data` at its chunk's first event and gathers the tempo changes. False only
// when a block could not be made; an image that is not a MIDI file, or misses a track chunk, gives
// a song of no tracks.
bool readSongStructure(HGLOBAL songHandle, const std::uint8_t* image, std::uint32_t size,
                       TempoChanges& changes) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  SmfHeader header;
  if (!readHeaderChunk(image, size, header)) return true;
  song->format = header.format;
  song->trackCount = header.trackCount;
  song->division = header.division;
  // Fewer bytes than the chunk headers alone need: a chunk is missing, so no table is made.
  if (std::uint64_t{song->trackCount} * kChunkHeaderSize > size - kHeaderChunkSize) {
    song->trackCount = 0;
    return true;
  }
  song->trackTable = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, song->trackCount * sizeof(Track));
  if (song->trackTable == 0) return false;
  // A table of no tracks is a block of no bytes, which need not resolve (on Windows it does not).
  Resolved<Track> tracks(song->trackTable);
  if (!tracks && song->trackCount != 0) return false;
  const std::uint8_t* imageEnd = image + size;
  std::uint64_t chunk = kHeaderChunkSize;
  for (std::uint32_t t = 0; t < song->trackCount; ++t) {
    std::uint32_t length = 0;
    if (chunk > size || !readTrackChunk(image + chunk, size - chunk, length)) {
      tracks.reset();
      song->trackTable = GlobalFree(song->trackTable);
      song->trackCount = 0;
      return song->trackTable == 0;
    }
    tracks[t].data = const_cast<std::uint8_t*>(image + chunk + kChunkHeaderSize);
    measureTrack(tracks[t], length, imageEnd, &changes);
    chunk += kChunkHeaderSize + std::uint64_t{length};
  }
  return true;
}

// What the load keeps beside the tracks: the wrapper's title and the loops the file marks.
bool readSongFacts(HGLOBAL songHandle, const std::uint8_t* title, std::uint32_t titleSize,
                   const std::vector<EventRef>& loopMarks) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  if (titleSize != 0) {
    song->titleBlock = GlobalAlloc(GMEM_MOVEABLE, titleSize);
    Resolved<std::uint8_t> copy(song->titleBlock);
    if (!copy) return false;
    std::memcpy(copy.get(), title, titleSize);
    song->titleSize = titleSize;
  }
  Resolved<Track> tracks(song->trackTable);
  if (song->trackCount != 0 && !tracks) return false;
  return findLoops(*song, tracks.get(), loopMarks);
}

}  // namespace

Registry<LoadedSong>& loadedSongs() {
  static auto* songs = new Registry<LoadedSong>;  // a timer thread may outlive static destructors
  return *songs;
}

HGLOBAL loadSong(Image image) {
  if (image.block == 0) return 0;
  const HGLOBAL song = newSong();
  bool built = false;
  {
    // Resolved across both passes: the sizing pass leaves pointers into it for the expansion.
    Resolved<std::uint8_t> bytes(image.block);
    // An RMID file's MIDI image is its data chunk; any other image is loaded whole.
    const RmidParts parts = bytes ? unwrapRmid(bytes.get(), image.size) : RmidParts{{0, 0}, {0, 0}};
    const std::uint8_t* midi = bytes.get() + parts.midi.offset;
    // Tempo changes of any track time every track's events, so all are gathered before any
    // expansion.
    TempoChanges changes;
    std::vector<EventRef> loopMarks;
    built = song != 0 && bytes && readSongStructure(song, midi, parts.midi.size, changes) &&
            expandSong(song, midi + parts.midi.size, changes, loopMarks) &&
            (changes.complete || timeSong(song)) &&
            readSongFacts(song, bytes.get() + parts.title.offset, parts.title.size, loopMarks);
  }
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
    if (songIsBound(song) || !freeSongData(song)) return false;
    result = GlobalFree(song);
    return result == 0;
  });
  return result;
}

std::uint32_t songLength(HGLOBAL songHandle) {
  std::uint32_t length = 0;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (song) length = reportedLength(*song);
  });
  return length;
}

}  // namespace quavr
