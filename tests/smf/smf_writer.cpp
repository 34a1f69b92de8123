#include "tests/smf/smf_writer.h"

namespace quavr::test {

Bytes vlq(std::uint32_t value) {
  Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
  while ((value >>= 7) != 0)
    out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
  return out;
}

Bytes be16(std::uint16_t v) {
  return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

Bytes be32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes chunk(const std::string& id, const Bytes& body, std::uint32_t statedLength) {
  return concat({Bytes(id.begin(), id.end()), be32(statedLength), body});
}

Bytes chunk(const std::string& id, const Bytes& body) {
  return chunk(id, body, static_cast<std::uint32_t>(body.size()));
}

Bytes le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

Bytes riffChunk(const std::string& id, const Bytes& body, std::uint32_t statedSize) {
  Bytes out = concat({Bytes(id.begin(), id.end()), le32(statedSize), body});
  if (body.size() % 2 != 0) out.push_back(0);
  return out;
}

Bytes riffChunk(const std::string& id, const Bytes& body) {
  return riffChunk(id, body, static_cast<std::uint32_t>(body.size()));
}

Bytes riff(const std::string& form, const std::vector<Bytes>& chunks, std::uint32_t statedSize) {
  Bytes out =
      concat({Bytes{'R', 'I', 'F', 'F'}, le32(statedSize), Bytes(form.begin(), form.end())});
  for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

Bytes riff(const std::string& form, const std::vector<Bytes>& chunks) {
  std::uint32_t size = 4;
  for (const Bytes& c : chunks) size += static_cast<std::uint32_t>(c.size());
  return riff(form, chunks, size);
}

Bytes header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division) {
  return chunk("MThd", concat({be16(format), be16(tracks), be16(division)}));
}

Bytes smf(std::uint16_t division, const std::vector<Bytes>& trackBodies, std::uint16_t format) {
  Bytes out = header(format, static_cast<std::uint16_t>(trackBodies.size()), division);
  for (const Bytes& body : trackBodies) {
    const Bytes track = chunk("MTrk", body);
    out.insert(out.end(), track.begin(), track.end());
  }
  return out;
}

TrackWriter& TrackWriter::raw(std::uint32_t delta, const Bytes& bytes) {
  const Bytes d = vlq(delta);
  bytes_.insert(bytes_.end(), d.begin(), d.end());
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

TrackWriter& TrackWriter::note(std::uint32_t delta, std::uint8_t channel, std::uint8_t key,
                               std::uint8_t velocity) {
  return raw(delta, {static_cast<std::uint8_t>(0x90 | channel), key, velocity});
}

TrackWriter& TrackWriter::program(std::uint32_t delta, std::uint8_t channel, std::uint8_t program) {
  return raw(delta, {static_cast<std::uint8_t>(0xC0 | channel), program});
}

TrackWriter& TrackWriter::tempo(std::uint32_t delta, std::uint32_t us) {
  return raw(delta, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(us >> 16),
                     static_cast<std::uint8_t>(us >> 8), static_cast<std::uint8_t>(us)});
}

TrackWriter& TrackWriter::sysex(std::uint32_t delta, const Bytes& data) {
  return raw(delta, concat({{0xF0}, vlq(static_cast<std::uint32_t>(data.size())), data}));
}

TrackWriter& TrackWriter::meta(std::uint32_t delta, std::uint8_t type, const Bytes& data) {
  return raw(delta, concat({{0xFF, type}, vlq(static_cast<std::uint32_t>(data.size())), data}));
}

TrackWriter& TrackWriter::end(std::uint32_t delta) {
  return raw(delta, {0xFF, 0x2F, 0x00});
}

}  // namespace quavr::test
