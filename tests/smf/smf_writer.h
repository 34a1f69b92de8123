// Builds Standard MIDI Files byte by byte, well-formed or deliberately not.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace quavr::test {

using Bytes = std::vector<std::uint8_t>;

Bytes vlq(std::uint32_t value);
Bytes be16(std::uint16_t value);
Bytes be32(std::uint32_t value);
Bytes concat(std::initializer_list<Bytes> parts);

// A chunk with its id and, unless given otherwise, the body's true length.
Bytes chunk(const std::string& id, const Bytes& body);
Bytes chunk(const std::string& id, const Bytes& body, std::uint32_t statedLength);
Bytes header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division);
// A whole file: header and one MTrk chunk per body.
Bytes smf(std::uint16_t division, const std::vector<Bytes>& trackBodies, std::uint16_t format = 1);

// RIFF files (RMID): little-endian chunk sizes, bodies padded to an even size.
Bytes le32(std::uint32_t value);
Bytes riffChunk(const std::string& id, const Bytes& body);
Bytes riffChunk(const std::string& id, const Bytes& body, std::uint32_t statedSize);
// "RIFF", the form's size (true unless given), the form type, the chunks.
Bytes riff(const std::string& form, const std::vector<Bytes>& chunks);
Bytes riff(const std::string& form, const std::vector<Bytes>& chunks, std::uint32_t statedSize);

// The events of one track body, each after its delta time.
class TrackWriter {
 public:
  TrackWriter& raw(std::uint32_t delta, const Bytes& bytes);
  TrackWriter& note(std::uint32_t delta, std::uint8_t channel, std::uint8_t key,
                    std::uint8_t velocity);
  TrackWriter& program(std::uint32_t delta, std::uint8_t channel, std::uint8_t program);
  TrackWriter& tempo(std::uint32_t delta, std::uint32_t usPerQuarter);
  TrackWriter& sysex(std::uint32_t delta, const Bytes& dataWithF7);
  TrackWriter& meta(std::uint32_t delta, std::uint8_t type, const Bytes& data);
  TrackWriter& end(std::uint32_t delta = 0);
  const Bytes& bytes() const { return bytes_; }
  operator Bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace quavr::test
