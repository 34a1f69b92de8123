#include "tests/smf/game_writers.h"

#include <cstring>

namespace quavr::test {

namespace {

Bytes le16(std::uint16_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}

void put(Bytes& at, std::size_t offset, const Bytes& value) {
  std::memcpy(at.data() + offset, value.data(), value.size());
}

Bytes text(const char* s) {
  return Bytes(s, s + std::strlen(s));
}

}  // namespace

Bytes iffChunk(const std::string& id, const Bytes& body) {
  Bytes out = chunk(id, body);
  if (body.size() % 2 != 0) out.push_back(0);
  return out;
}

XmiEvents& XmiEvents::delay(std::uint32_t ticks) {
  for (; ticks > 127; ticks -= 127) bytes_.push_back(127);
  if (ticks != 0) bytes_.push_back(static_cast<std::uint8_t>(ticks));
  return *this;
}

XmiEvents& XmiEvents::note(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity,
                           std::uint32_t duration) {
  return raw(concat({{static_cast<std::uint8_t>(0x90 | channel), key, velocity}, vlq(duration)}));
}

XmiEvents& XmiEvents::raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes xmiSong(const Bytes& events, const Bytes& timb, const Bytes& rbrn) {
  Bytes body = text("XMID");
  if (!timb.empty()) body = concat({body, iffChunk("TIMB", timb)});
  if (!rbrn.empty()) body = concat({body, iffChunk("RBRN", rbrn)});
  return iffChunk("FORM", concat({body, iffChunk("EVNT", events)}));
}

Bytes xmiFile(const Bytes& events) {
  return xmiSong(events);
}

Bytes xmiCollection(const std::vector<Bytes>& songForms) {
  Bytes forms = text("XMID");
  for (const Bytes& form : songForms) forms = concat({forms, form});
  const Bytes count = le16(static_cast<std::uint16_t>(songForms.size()));
  return concat(
      {iffChunk("FORM", concat({text("XDIR"), iffChunk("INFO", count)})), iffChunk("CAT ", forms)});
}

MusScore& MusScore::event(std::uint8_t type, std::uint8_t channel, const Bytes& data,
                          std::uint32_t delay) {
  bytes_.push_back(static_cast<std::uint8_t>((delay != 0 ? 0x80 : 0) | (type << 4) | channel));
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  if (delay != 0) {
    const Bytes d = vlq(delay);
    bytes_.insert(bytes_.end(), d.begin(), d.end());
  }
  return *this;
}

Bytes mus(const Bytes& score, const std::vector<std::uint16_t>& instruments) {
  const auto start = static_cast<std::uint16_t>(16 + 2 * instruments.size());
  Bytes out =
      concat({text("MUS\x1A"), le16(static_cast<std::uint16_t>(score.size())), le16(start), le16(1),
              le16(0), le16(static_cast<std::uint16_t>(instruments.size())), le16(0)});
  for (std::uint16_t i : instruments) out = concat({out, le16(i)});
  return concat({out, score});
}

Bytes reversedVlq(std::uint32_t value) {
  Bytes out;
  do {
    out.push_back(static_cast<std::uint8_t>(value & 0x7F));
    value >>= 7;
  } while (value != 0);
  out.back() |= 0x80;
  return out;
}

Bytes hmp(int version, std::uint32_t ticksPerSecond, const std::vector<Bytes>& trackBodies,
          std::uint32_t ticksPerQuarter) {
  Bytes out(version == 1 ? 0x308 : 0x388, 0);
  put(out, 0, text(version == 1 ? "HMIMIDIP" : "HMIMIDIP013195"));
  put(out, 0x30, le32(static_cast<std::uint32_t>(trackBodies.size())));
  put(out, 0x34, le32(ticksPerQuarter));
  put(out, 0x38, le32(ticksPerSecond));
  for (std::uint32_t t = 0; t < trackBodies.size(); ++t) {
    const auto length = static_cast<std::uint32_t>(12 + trackBodies[t].size());
    out = concat({out, le32(t), le32(length), le32(t), trackBodies[t]});
  }
  put(out, 0x20, le32(static_cast<std::uint32_t>(out.size())));
  return out;
}

Bytes hmi(std::uint16_t ticksPerSecond, const std::vector<Bytes>& trackBodies) {
  constexpr std::uint32_t kDirectory = 0x172;   // where the format's own files keep it
  constexpr std::uint32_t kTrackHeader = 0x9A;  // events after the header's own fields
  Bytes out(kDirectory + 4 * trackBodies.size(), 0);
  put(out, 0, text("HMI-MIDISONG061595"));
  put(out, 0xD4, le16(ticksPerSecond));
  put(out, 0xE4, le16(static_cast<std::uint16_t>(trackBodies.size())));
  put(out, 0xE8, le32(kDirectory));
  for (std::uint32_t t = 0; t < trackBodies.size(); ++t) {
    put(out, kDirectory + 4 * t, le32(static_cast<std::uint32_t>(out.size())));
    Bytes header(kTrackHeader, 0);
    put(header, 0, text("HMI-MIDITRACK"));
    put(header, 0x57, le32(kTrackHeader));
    out = concat({out, header, trackBodies[t]});
  }
  return out;
}

}  // namespace quavr::test
