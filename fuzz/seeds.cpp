// Writes the seed corpus: songs made with the test writers, covering the shapes the loaders
// must survive, in every format. Usage: fuzz_seeds DIR
#include <fstream>
#include <string>
#include <vector>

#include "tests/smf/game_writers.h"
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
  const Bytes xmiEvents = XmiEvents()
                              .raw({0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20})
                              .control(0, 116, 2)
                              .note(0, 60, 100, 0)
                              .delay(600)
                              .note(0, 60, 90, 200)
                              .delay(1)
                              .note(0, 60, 80, 10)
                              .control(0, 117, 127)
                              .raw({0xF0, 0x03, 0x41, 0x10, 0xF7})
                              .end();
  const Bytes musScore = MusScore()
                             .event(1, 0, {60 | 0x80, 200}, 140)
                             .event(0, 0, {60})
                             .event(1, 15, {36}, 1)
                             .event(2, 3, {255})
                             .event(3, 3, {12})
                             .event(4, 3, {3, 200})
                             .event(5, 0, {}, 300)
                             .end();
  const Bytes smfLike = concat({{0x90, 60, 100}, reversedVlq(255), {60, 0}});
  const Bytes hmiBody = concat({{0x00, 0x90, 60, 100},
                                vlq(240),
                                {0x00, 0xFE, 0x10, 0, 0, 1, 0, 0, 0, 0, 'a'},
                                {0x10, 0xB0, 7, 90, 0x00, 0xFF, 0x2F, 0x00}});
  const std::vector<std::pair<std::string, Bytes>> seeds = {
      {"xmi_collection", xmiCollection({xmiSong(xmiEvents, {1, 0, 10, 0}), xmiSong(xmiEvents)})},
      {"xmi_bare", xmiFile(xmiEvents)},
      {"mus", mus(musScore, {0, 135})},
      {"hmp1", hmp(1, 120, {concat({reversedVlq(0), smfLike}), {0x81, 0xFF, 0x2F, 0x00}})},
      {"hmp2", hmp(2, 60, {concat({reversedVlq(65537), smfLike})})},
      {"hmi", hmi(120, {hmiBody, hmiBody})},
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
