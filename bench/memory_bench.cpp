// What a loaded song costs in memory: the bytes of all its blocks per event, and the peak
// resident size of this process after loading it (one file per process, so the peak is that
// load's). Prints: memory  file  bytes  events  block_bytes  bytes_per_event  peak_rss_bytes
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/block.h"
#include "include/quavr.h"
#include "song/records.h"

using namespace quavr;
using namespace quavr::platform;

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]) == "--help") {
    std::fprintf(argc == 2 ? stdout : stderr,
                 "Usage: memory_bench FILE\nLoads FILE and prints the bytes of its blocks per "
                 "event and the peak resident size.\n");
    return argc == 2 ? 0 : 2;
  }
  const QuavrSong handle = bgmGetSongFile(argv[1]);
  if (handle == 0) return 1;
  std::uint64_t blockBytes = GlobalSize(handle);
  std::uint64_t events = 0;
  {
    Resolved<Song> song(handle);
    blockBytes += GlobalSize(song->trackTable);
    Resolved<Track> tracks(song->trackTable);
    for (std::uint32_t t = 0; t < song->trackCount; ++t) {
      blockBytes += GlobalSize(tracks[t].dataBlock) + GlobalSize(tracks[t].eventBlock);
      events += tracks[t].eventCount;
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("memory\t%s\t%ju\t%ju\t%ju\t%.2f\t%ld\n", argv[1],
              static_cast<std::uintmax_t>(std::filesystem::file_size(argv[1])),
              static_cast<std::uintmax_t>(events), static_cast<std::uintmax_t>(blockBytes),
              events == 0 ? 0.0 : static_cast<double>(blockBytes) / static_cast<double>(events),
              usage.ru_maxrss * 1024L);
  bgmDeleteSong(handle);
  return 0;
}
