// Any bytes as a song file and as a song in memory: the load keeps every invariant of the
// records, both loaders build the same song, every song of a collection does too once selected,
// every fact and text reads within its bounds, RMID unwrapping stays inside the image, and
// deleting the song frees every block it made.
#include <cstring>
#include <vector>

#include "fuzz/song_invariants.h"
#include "song/rmid.h"
#include "tests/fake/fake_platform.h"

namespace {

using namespace quavr;

void checkFacts(QuavrSong song) {
  // The song's whole length: an endless loop may report a shorter one, never a longer.
  FUZZ_CHECK(bgmSetLoopStyle(song, 0) == 0);
  const std::uint32_t length = bgmGetSongInfo(song, QUAVR_INFO_LENGTH, 0);
  // Each style alone, then all: the loops lie in the song, each pair apart or one inside the
  // other, at most 4 deep.
  for (std::uint32_t styles = 1; styles != 0; styles = styles == 64 ? 0xFFFFFFFF : styles * 2) {
    FUZZ_CHECK(bgmSetLoopStyle(song, styles) == 0);
    FUZZ_CHECK(bgmGetSongInfo(song, QUAVR_INFO_LENGTH, 0) == bgmGetSongLength(song));
    FUZZ_CHECK(bgmGetSongLength(song) <= length);
    const std::uint32_t loops = bgmGetSongInfo(song, QUAVR_INFO_LOOPS, 0);
    FUZZ_CHECK(loops <= 64);
    const std::uint32_t start = bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, 0);
    const std::uint32_t end = bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, 0);
    FUZZ_CHECK((start == QUAVR_NONE) == (loops == 0));
    FUZZ_CHECK((start == QUAVR_NONE) == (end == QUAVR_NONE));
    for (std::uint32_t i = 0; i < loops; ++i) {
      const std::uint32_t s = bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, i);
      const std::uint32_t e = bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, i);
      FUZZ_CHECK(s < e && e <= length);
      FUZZ_CHECK(bgmGetSongInfo(song, QUAVR_INFO_LOOP_COUNT, i) != QUAVR_NONE);
      std::uint32_t around = 0;
      for (std::uint32_t j = 0; j < loops; ++j) {
        const std::uint32_t s2 = bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, j);
        const std::uint32_t e2 = bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, j);
        const bool inside = s2 <= s && e <= e2;
        FUZZ_CHECK(e2 <= s || e <= s2 || inside || (s <= s2 && e2 <= e));
        around += inside ? 1 : 0;
      }
      FUZZ_CHECK(around <= 4);  // itself among them
    }
    FUZZ_CHECK(bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, loops) == QUAVR_NONE);
  }
  bgmSetLoopStyle(song, 0);
  const std::uint32_t markers = bgmGetSongInfo(song, QUAVR_INFO_MARKERS, 0);
  FUZZ_CHECK(bgmGetSongInfo(song, QUAVR_INFO_MARKER_TIME, markers) == QUAVR_NONE);
  const std::uint32_t lyrics = bgmGetSongInfo(song, QUAVR_INFO_LYRICS, 0);
  FUZZ_CHECK(bgmGetSongInfo(song, QUAVR_INFO_LYRIC_TIME, lyrics) == QUAVR_NONE);
  if (lyrics != 0) FUZZ_CHECK(bgmGetSongInfo(song, QUAVR_INFO_LYRIC_TIME, lyrics - 1) <= length);
  char buffer[16];
  for (std::uint32_t kind = 0; kind <= 5; ++kind) {
    for (std::uint32_t index = 0; index < 4; ++index) {
      std::memset(buffer, '#', sizeof buffer);
      const std::int32_t full = bgmGetSongText(song, kind, index, buffer, 8);
      FUZZ_CHECK(full >= -1);
      FUZZ_CHECK(buffer[8] == '#');
      if (full >= 0) FUZZ_CHECK(buffer[full < 8 ? full : 7] == '\0');
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fake::reset();
  const std::size_t before = fake::liveBlocks();
  const RmidParts parts = unwrapRmid(data, static_cast<std::uint32_t>(size));
  FUZZ_CHECK(std::uint64_t{parts.midi.offset} + parts.midi.size <= size);
  FUZZ_CHECK(std::uint64_t{parts.title.offset} + parts.title.size <= size);
  fake::addFile("song.mid", std::vector<std::uint8_t>(data, data + size));
  const QuavrSong song = bgmGetSongFile("song.mid");
  FUZZ_CHECK((song == 0) == (size == 0));
  const QuavrSong fromMemory = bgmGetSongMem(data, static_cast<std::uint32_t>(size));
  FUZZ_CHECK((fromMemory == 0) == (size == 0));
  if (song != 0) {
    fuzz::checkSong(song);
    fuzz::checkSameSong(song, fromMemory);
    checkFacts(song);
    const std::uint32_t songs = bgmGetSongInfo(song, QUAVR_INFO_SONGS, 0);
    FUZZ_CHECK(songs >= 1);
    FUZZ_CHECK(bgmSelectSong(song, songs) == -1);
    for (std::uint32_t index = songs < 4 ? songs : 4; index-- > 0;) {
      FUZZ_CHECK(bgmSelectSong(song, index) == 0 && bgmSelectSong(fromMemory, index) == 0);
      fuzz::checkSong(song);
      fuzz::checkSameSong(song, fromMemory);
    }
    FUZZ_CHECK(bgmDeleteSong(song) == 0);
    FUZZ_CHECK(bgmDeleteSong(fromMemory) == 0);
  }
  FUZZ_CHECK(fake::liveBlocks() == before);
  return 0;
}
