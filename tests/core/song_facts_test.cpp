// Songs beyond the first release's calls: loading from memory, RMID files, the numbers and texts
// a host reads back.
#include <string>

#include "tests/core/core_test.h"
#include "tests/core/song_copy.h"

namespace quavr::test {
namespace {

class SongFactsTest : public CoreTest {
 protected:
  // Two tracks, a name each, texts of every kind; 1200 ms long.
  const Bytes song_ = smf(96, {TrackWriter()
                                   .meta(0, 0x03, text("Overture"))
                                   .meta(0, 0x02, text("(c) 2026 Q"))
                                   .tempo(0, 600000)
                                   .meta(0, 0x06, text("A"))
                                   .meta(48, 0x06, text("Bridge section"))
                                   .meta(0, 0x03, text("not the title"))
                                   .end(48),
                               TrackWriter()
                                   .meta(0, 0x03, text("Piano"))
                                   .note(0, 0, 60, 100)
                                   .meta(0, 0x05, text("la"))
                                   .meta(96, 0x05, text(""))
                                   .note(96, 0, 60, 0)
                                   .meta(0, 0x06, text("C"))
                                   .end()});

  // Each text with its full length, read back at every buffer size from 0 to one past it:
  // snprintf's rules, and not a byte written past the size given.
  void expectText(QuavrSong song, std::uint32_t kind, std::uint32_t index,
                  const std::string& expected) {
    for (std::uint32_t size = 0; size <= expected.size() + 1; ++size) {
      std::string buffer(expected.size() + 8, '#');
      EXPECT_EQ(bgmGetSongText(song, kind, index, buffer.data(), size),
                static_cast<std::int32_t>(expected.size()))
          << kind << "/" << index << " size " << size;
      const std::size_t kept = size == 0 ? 0 : std::min<std::size_t>(size - 1, expected.size());
      EXPECT_EQ(buffer.substr(0, kept), expected.substr(0, kept));
      if (size > 0) {
        EXPECT_EQ(buffer[kept], '\0');
      }
      EXPECT_EQ(buffer.find_first_not_of('#', size), std::string::npos) << "written past size";
    }
    EXPECT_EQ(bgmGetSongText(song, kind, index, nullptr, 0),
              static_cast<std::int32_t>(expected.size()));
  }
};

TEST_F(SongFactsTest, InfoAndTextsOfASong) {
  const QuavrSong song = loadBytes(song_);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_FORMAT, 0), 1u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_TRACKS, 0), 2u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_DIVISION, 0), 96u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LENGTH, 0), bgmGetSongLength(song));
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_EVENTS, 0), 7u + 7u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_TRACK_LENGTH, 0), 600u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_TRACK_LENGTH, 1), 1200u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_TRACK_LENGTH, 2), QUAVR_NONE);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_MARKERS, 0), 3u);
  // Markers count track by track: track 0's two, then track 1's.
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_MARKER_TIME, 0), 0u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_MARKER_TIME, 1), 300u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_MARKER_TIME, 2), 1200u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_MARKER_TIME, 3), QUAVR_NONE);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, 0), QUAVR_NONE);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, 0), QUAVR_NONE);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_STYLE, 0), 0u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOPS, 0), 0u);
  EXPECT_EQ(bgmGetSongInfo(song, 100, 0), QUAVR_NONE);

  expectText(song, QUAVR_TEXT_TITLE, 0, "Overture");
  expectText(song, QUAVR_TEXT_COPYRIGHT, 0, "(c) 2026 Q");
  expectText(song, QUAVR_TEXT_TRACK_NAME, 0, "Overture");
  expectText(song, QUAVR_TEXT_TRACK_NAME, 1, "Piano");
  expectText(song, QUAVR_TEXT_MARKER, 1, "Bridge section");
  expectText(song, QUAVR_TEXT_MARKER, 2, "C");
  expectText(song, QUAVR_TEXT_LYRIC, 0, "la");
  expectText(song, QUAVR_TEXT_LYRIC, 1, "");
  char buffer[4] = "abc";
  for (auto [kind, index] : {std::pair{QUAVR_TEXT_COPYRIGHT, 1u},
                             {QUAVR_TEXT_TRACK_NAME, 2u},
                             {QUAVR_TEXT_MARKER, 3u},
                             {QUAVR_TEXT_LYRIC, 2u},
                             {QuavrText(5), 0u}}) {
    EXPECT_EQ(bgmGetSongText(song, kind, index, buffer, sizeof buffer), -1) << kind;
    EXPECT_STREQ(buffer, "abc") << "nothing written when there is no text";
  }
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

// An image that is no MIDI file still loads, with nothing to tell.
TEST_F(SongFactsTest, ASongWithoutTracksHasNoTexts) {
  const QuavrSong song = loadBytes(text("not a song"));
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_TRACKS, 0), 0u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_MARKERS, 0), 0u);
  EXPECT_EQ(bgmGetSongText(song, QUAVR_TEXT_TITLE, 0, nullptr, 0), -1);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

// The same bytes through the file loader and the memory loader give the same records; the host's
// buffer is copied, so changing it after the load changes nothing.
TEST_F(SongFactsTest, MemoryAndFileLoadsAgree) {
  const std::vector<Bytes> images = {song_, text("not a song"),
                                     Bytes(song_.begin(), song_.end() - 9),
                                     riff("RMID", {riffChunk("data", song_)})};
  for (const Bytes& image : images) {
    const QuavrSong fromFile = loadBytes(image);
    Bytes buffer = image;
    const QuavrSong fromMemory =
        bgmGetSongMem(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    ASSERT_NE(fromMemory, 0u);
    EXPECT_EQ(inspect(fromMemory), inspect(fromFile));
    EXPECT_EQ(bgmDeleteSong(fromMemory), 0u);
    EXPECT_EQ(bgmDeleteSong(fromFile), 0u);
  }
  const std::size_t blocks = fake::liveBlocks();
  EXPECT_EQ(bgmGetSongMem(nullptr, 100), 0u);
  EXPECT_EQ(bgmGetSongMem(song_.data(), 0), 0u);
  fake::failAllocation(1);
  EXPECT_EQ(bgmGetSongMem(song_.data(), static_cast<std::uint32_t>(song_.size())), 0u);
  EXPECT_EQ(fake::liveBlocks(), blocks);
}

// Real RMID layouts: each plays its data chunk, the same records as the bare file, and takes its
// title from INAM (trailing NULs left out) over the track's name.
TEST_F(SongFactsTest, RmidLayoutsUnwrap) {
  const SongCopy bare = [&] {
    const QuavrSong s = loadBytes(song_);
    SongCopy copy = inspect(s);
    bgmDeleteSong(s);
    return copy;
  }();
  const Bytes info = riffChunk("LIST", concat({text("INFO"), riffChunk("ICOP", text("me")),
                                               riffChunk("INAM", text("Title Theme\0\0"))}));
  const Bytes odd = riffChunk("LIST", concat({text("INFO"), riffChunk("INAM", text("Odd"))}));
  const Bytes data = riffChunk("data", song_);
  const Bytes dls = riffChunk("DLS ", Bytes(301, 7));
  struct Layout {
    const char* what;
    Bytes file;
    std::string title;
  };
  const std::vector<Layout> layouts = {
      {"data only", riff("RMID", {data}), "Overture"},
      {"data first", riff("RMID", {data, info}), "Title Theme"},
      {"LIST before data", riff("RMID", {info, data}), "Title Theme"},
      {"odd-sized chunks before data", riff("RMID", {riffChunk("JUNK", Bytes(3, 1)), odd, data}),
       "Odd"},
      {"a DLS chunk after", riff("RMID", {odd, data, dls}), "Odd"},
      {"RIFF size too small", riff("RMID", {data, dls, info}, 4), "Title Theme"},
      {"RIFF size too large", riff("RMID", {info, data}, 0xFFFFFFF0u), "Title Theme"},
      {"data chunk runs past the image",
       riff("RMID", {info, riffChunk("data", song_, 0xFFFFFF00u)}), "Title Theme"},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    const QuavrSong song = loadBytes(layout.file);
    ASSERT_NE(song, 0u);
    EXPECT_EQ(inspect(song), bare);
    expectText(song, QUAVR_TEXT_TITLE, 0, layout.title);
    EXPECT_EQ(bgmDeleteSong(song), 0u);
  }
  // A LIST chunk whose size runs past the image ends the walk: the data after it is never seen.
  const QuavrSong cut =
      loadBytes(riff("RMID", {riffChunk("LIST", text("INFO"), 0x7FFFFFFF), data}));
  EXPECT_EQ(bgmGetSongInfo(cut, QUAVR_INFO_TRACKS, 0), 0u);
  EXPECT_EQ(bgmDeleteSong(cut), 0u);
}

}  // namespace
}  // namespace quavr::test
