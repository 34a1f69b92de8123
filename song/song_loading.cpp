#include "song/song_loading.h"

#include <cstring>

#include "base/block.h"
#include "base/shared_value.h"
#include "include/quavr.h"
#include "song/loop_points.h"
#include "song/meter_map.h"
#include "song/records.h"
#include "song/rmid.h"
#include "song/smf_chunks.h"
#include "song/song_format.h"
#include "song/song_registry.h"
#include "song/song_walk.h"
#include "song/tempo_map.h"
#include "song/track_expansion.h"

namespace quavr {

using namespace platform;

namespace {

HGLOBAL newSong() {
  return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(Song));
}

// Frees the loops, the marks, the branch points, the tempo and meter maps and every track's blocks,
// then the track table: all that one song of the file holds. A block whose free fails keeps its
// handle in its field, so that a later delete tries only what is left. True when all went.
bool freeTracks(Song& song) {
  if (!freeSongWalk(song)) return false;
  song.loopBlock = GlobalFree(song.loopBlock);
  song.markBlock = GlobalFree(song.markBlock);
  song.markerBlock = GlobalFree(song.markerBlock);
  song.branchBlock = GlobalFree(song.branchBlock);
  song.tempoBlock = GlobalFree(song.tempoBlock);
  song.meterBlock = GlobalFree(song.meterBlock);
  if (song.loopBlock != 0 || song.markBlock != 0 || song.markerBlock != 0 ||
      song.branchBlock != 0 || song.tempoBlock != 0 || song.meterBlock != 0)
    return false;
  song.loopCount = song.markCount = song.markerCount = song.branchCount = 0;
  song.tempoCount = song.meterCount = song.endTick = 0;
  song.endlessEndMs = 0;
  if (song.trackTable == 0) return true;
  bool freed = true;
  {
    Resolved<Track> tracks(song.trackTable);
    if (!tracks && song.trackCount != 0) return false;
    for (std::uint32_t t = 0; t < song.trackCount; ++t) {
      tracks[t].dataBlock = GlobalFree(tracks[t].dataBlock);
      tracks[t].eventBlock = GlobalFree(tracks[t].eventBlock);
      freed = freed && tracks[t].dataBlock == 0 && tracks[t].eventBlock == 0;
    }
  }
  if (freed) song.trackTable = GlobalFree(song.trackTable);
  return freed && song.trackTable == 0;
}

// Frees everything the song holds but its own record.
bool freeSongData(HGLOBAL songHandle) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  song->titleBlock = GlobalFree(song->titleBlock);
  song->sourceBlock = GlobalFree(song->sourceBlock);
  return song->titleBlock == 0 && song->sourceBlock == 0 && freeTracks(*song);
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
  // A format number no SMF has is read as format 1, and not taken for another file format.
  song->format = header.format <= QUAVR_FORMAT_SMF2 ? header.format : QUAVR_FORMAT_SMF1;
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

// The title an RMID wrapper gives.
bool keepTitle(HGLOBAL songHandle, const std::uint8_t* title, std::uint32_t titleSize) {
  Resolved<Song> song(songHandle);
  if (!song) return false;
  if (titleSize != 0) {
    song->titleBlock = GlobalAlloc(GMEM_MOVEABLE, titleSize);
    Resolved<std::uint8_t> copy(song->titleBlock);
    if (!copy) return false;
    std::memcpy(copy.get(), title, titleSize);
    song->titleSize = titleSize;
  }
  return true;
}

// Standard MIDI Files, bare or in an RMID form; any image no other format recognises.
bool loadSmf(const LoadInput& in) {
  const RmidParts parts = unwrapRmid(in.image, in.size);
  const std::uint8_t* midi = in.image + parts.midi.offset;
  // Tempo changes of any track time every track's events, so all are gathered before any
  // expansion.
  TempoChanges changes;
  const bool read = readSongStructure(in.song, midi, parts.midi.size, changes);
  in.meters.swap(changes.meters);
  return read && expandSong(in.song, midi + parts.midi.size, changes, in.loopMarks) &&
         (changes.complete || timeSong(in.song)) &&
         keepTitle(in.song, in.image + parts.title.offset, parts.title.size);
}

bool anyImage(const std::uint8_t*, std::uint32_t) {
  return true;
}
const SongFormat kSmfFormat{anyImage, loadSmf};

// The formats in the order they are tried.
const SongFormat* const kFormats[] = {&kXmiFormat, &kMusFormat, &kHmpFormat, &kHmiFormat,
                                      &kSmfFormat};

const SongFormat& formatOf(const std::uint8_t* image, std::uint32_t size) {
  for (const SongFormat* format : kFormats) {
    if (format->recognise(image, size)) return *format;
  }
  return kSmfFormat;
}

// Builds song `index` of the image into a song record that holds no tracks, and finds its loops
// and those in force. A load (`fresh`) of a game format plays the loops its own player plays:
// Extended MIDI's For/Next, HMP's and HMI's controller 110 to 111. A song selected later keeps the
// host's styles.
bool buildSong(HGLOBAL songHandle, const std::uint8_t* image, std::uint32_t size,
               std::uint32_t index, bool fresh) {
  std::vector<EventRef> loopMarks;
  std::vector<MeterChange> meters;
  if (!formatOf(image, size).load(LoadInput{songHandle, image, size, index, loopMarks, meters}))
    return false;
  Resolved<Song> song(songHandle);
  if (!song) return false;
  song->songIndex = index;
  if (song->songCount == 0) song->songCount = 1;
  if (fresh && song->format == QUAVR_FORMAT_XMI) song->loopStyles = QUAVR_LOOP_XMI;
  if (fresh && (song->format == QUAVR_FORMAT_HMP || song->format == QUAVR_FORMAT_HMI))
    song->loopStyles = QUAVR_LOOP_CC110_111;
  Resolved<Track> tracks(song->trackTable);
  if (song->trackCount != 0 && !tracks) return false;
  return findLoops(*song, tracks.get(), loopMarks) && chooseLoop(*song) &&
         buildMeterMap(*song, tracks.get(), meters);
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
  bool keepImage = false;
  {
    // Resolved across the load: an SMF's sizing pass leaves pointers into it for the expansion.
    Resolved<std::uint8_t> bytes(image.block);
    built = song != 0 && bytes && buildSong(song, bytes.get(), image.size, 0, true);
    Resolved<Song> record(song);
    if (built && record && record->songCount > 1) {
      record->sourceBlock = image.block;
      record->sourceSize = image.size;
      keepImage = true;
    }
  }
  if (!keepImage) GlobalFree(image.block);
  if (!built) {
    if (song != 0 && freeSongData(song)) GlobalFree(song);
    return 0;
  }
  loadedSongs().add(song, {});
  return song;
}

std::int32_t selectSong(HGLOBAL songHandle, std::uint32_t index) {
  std::int32_t result = -1;
  loadedSongs().visit(songHandle, [&](LoadedSong& entry) {
    // A song another thread reads (its events, a seek's chase, a loop change) keeps its tracks
    // meanwhile.
    if (entry.readers != 0 || songIsBound(songHandle)) return false;
    Resolved<Song> song(songHandle);
    if (!song || index >= song->songCount) return false;
    if (index == song->songIndex) {
      result = 0;
      return false;
    }
    if (song->sourceBlock == 0 || !freeTracks(*song)) return false;
    // Everything the last song's load set, back to a fresh record's; the host's loop styles
    // stay.
    song->trackCount = 0;
    song->lengthMs = 0;
    song->finishedTracks = 0;
    Resolved<std::uint8_t> bytes(song->sourceBlock);
    const std::uint32_t size = song->sourceSize;
    song.reset();
    const bool built = bytes && buildSong(songHandle, bytes.get(), size, index, false);
    song = Resolved<Song>(songHandle);
    if (!song) return false;
    if (!built) {
      freeTracks(*song);
      song->trackCount = 0;
      song->lengthMs = 0;
      return false;
    }
    result = 0;
    return false;
  });
  return result;
}

HGLOBAL deleteSong(HGLOBAL song) {
  HGLOBAL result = song;
  loadedSongs().visit(song, [&](LoadedSong& entry) {
    if (entry.readers != 0 || songIsBound(song) || !freeSongData(song)) return false;
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
