// Writes the seed corpus: songs made with the test SMF writer, covering the shapes the loader
// must survive. Usage: fuzz_seeds DIR
#include <fstream>
#include <string>
#include <vector>

#include "tests/smf/smf_writer.h"

using namespace quavr::test;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const Bytes melody = TrackWriter()
                           .tempo(0, 600000)
                           .sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                           .program(0, 0, 5)
                           .note(0, 0, 60, 100)
                           .raw(10, {62, 100})
                           .raw(0, {0xF7, 0x02, 0xF3, 0x01})
                           .meta(0, 0x01, {'h', 'i'})
                           .end(96);
  const std::vector<std::pair<std::string, Bytes>> seeds = {
      {"two_tracks", smf(96, {melody, TrackWriter().tempo(48, 400000).note(0, 9, 36, 90).end(10)})},
      {"format0", smf(480, {melody}, 0)},
      {"empty_tracks", smf(96, {{}, {}, melody})},
      {"running_status_first", smf(96, {TrackWriter().raw(0, {0x3C, 0x40}).end()})},
      {"no_end_of_track", smf(96, {TrackWriter().note(0, 0, 60, 1)})},
      {"smpte_division", smf(0xE728, {melody})},
      {"division_zero", smf(0, {melody})},
      {"huge_chunk", concat({header(1, 1, 96), chunk("MTrk", melody, 0xFFFFFFFFu)})},
      {"many_tracks_short", concat({header(1, 65535, 96), chunk("MTrk", melody)})},
      {"long_lengths", smf(96, {TrackWriter().raw(0, {0xF0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}).end()})},
      {"short_tempo", smf(96, {TrackWriter().raw(0, {0xFF, 0x51, 0x01, 0x07})})},
      {"riff", concat({Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'},
                       chunk("data", smf(96, {melody}))})},
      {"rmid_titled",
       riff("RMID",
            {riffChunk("LIST", concat({Bytes{'I', 'N', 'F', 'O'}, riffChunk("INAM", {'T', 0})})),
             riffChunk("data", smf(96, {melody})), riffChunk("DLS ", {1})})},
      {"loops", smf(96, {TrackWriter()
                             .meta(0, 0x06, {'l', 'o', 'o', 'p', 'S', 't', 'a', 'r', 't'})
                             .raw(10, {0xB0, 111, 0})
                             .raw(10, {0xB1, 116, 0})
                             .note(0, 0, 60, 100)
                             .raw(50, {0xB1, 117, 0})
                             .meta(0, 0x06, {'l', 'o', 'o', 'p', 'E', 'n', 'd'})
                             .end(20)})},
      // Nested counted loops under XMI, EMIDI and markers, an EMIDI designation, a held note.
      {"nested_loops",
       smf(96, {TrackWriter()
                    .raw(0, {0xB0, 110, 0})
                    .raw(0, {0xB0, 118, 0})
                    .raw(0, {0xB0, 116, 2})
                    .meta(0, 0x06, {'l', 'o', 'o', 'p', 'S', 't', 'a', 'r', 't', '=', '2'})
                    .note(0, 0, 60, 100)
                    .raw(10, {0xB0, 116, 3})
                    .raw(0, {0xB0, 112, 5})
                    .raw(10, {0xB0, 117, 127})
                    .meta(0, 0x06, {'l', 'o', 'o', 'p', 'E', 'n', 'd'})
                    .raw(10, {0xB0, 117, 64})
                    .raw(0, {0xB0, 2, 0})
                    .note(10, 0, 60, 0)
                    .raw(0, {0xB0, 4, 0})
                    .raw(10, {0xB0, 119, 127})
                    .end(20),
                TrackWriter().raw(0, {0xB1, 111, 2}).note(0, 1, 64, 90).end(40)})},
  };
  for (const auto& [name, bytes] : seeds) {
    std::ofstream(dir + "/" + name + ".mid", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  return 0;
}
