// Any bytes as a song file: the load keeps every invariant of the records, and deleting the
// song frees every block it made.
#include <vector>

#include "fuzz/song_invariants.h"
#include "tests/fake/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quavr;
  fake::reset();
  const std::size_t before = fake::liveBlocks();
  fake::addFile("song.mid", std::vector<std::uint8_t>(data, data + size));
  const QuavrSong song = bgmGetSongFile("song.mid");
  FUZZ_CHECK((song == 0) == (size == 0));
  if (song != 0) {
    fuzz::checkSong(song);
    FUZZ_CHECK(bgmDeleteSong(song) == 0);
  }
  FUZZ_CHECK(fake::liveBlocks() == before);
  return 0;
}
