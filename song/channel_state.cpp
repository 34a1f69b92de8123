#include "song/channel_state.h"

#include <algorithm>
#include <cstring>

#include "base/block.h"
#include "base/shared_value.h"
#include "song/loop_styles.h"

namespace quavr {

using namespace platform;

std::uint8_t powerOnValue(std::uint32_t controller) {
  switch (controller) {
    case 7:
      return 100;
    case 10:
      return 64;
    case 11:
      return 127;
    default:
      return 0;
  }
}

std::uint32_t lastWrite(const ParameterState& parameter) {
  return *std::max_element(parameter.when, parameter.when + 4);
}

std::uint32_t dataIndex(std::uint32_t controller) {
  return controller == 6 ? 0 : controller == 38 ? 1 : controller == 96 ? 2 : 3;
}

std::int32_t parameterInForce(const ChannelState& channel, const ParameterLog& log) {
  // selectWhen is indexed by controller - 98: NRPN LSB, NRPN MSB, RPN LSB, RPN MSB.
  const std::uint32_t nrpn = std::max(log.selectWhen[0], log.selectWhen[1]);
  const std::uint32_t rpn = std::max(log.selectWhen[2], log.selectWhen[3]);
  if (nrpn == 0 && rpn == 0) return -1;
  const bool isNrpn = nrpn > rpn;
  const std::uint32_t msb = channel.controllers[isNrpn ? 99 : 101];
  const std::uint32_t lsb = channel.controllers[isNrpn ? 98 : 100];
  if (msb == 127 && lsb == 127) return -1;
  return static_cast<std::int32_t>((isNrpn ? kNrpn : 0) | msb << 7 | lsb);
}

const Event* firstEventAt(const Event* first, const Event* last, std::uint32_t ms) {
  return std::lower_bound(first, last, ms,
                          [](const Event& e, std::uint32_t time) { return e.timeMs < time; });
}

namespace {

void logDataEntry(ParameterLog& log, const ChannelState& channel, std::uint32_t controller,
                  std::uint8_t value, std::uint32_t order) {
  const std::int32_t number = parameterInForce(channel, log);
  if (number < 0) return;  // no parameter: a synthesizer ignores it
  ParameterState* entry = nullptr;
  ParameterState* oldest = log.entries;
  for (std::uint32_t i = 0; i < log.count && entry == nullptr; ++i) {
    if (log.entries[i].number == static_cast<std::uint32_t>(number)) entry = &log.entries[i];
    if (lastWrite(log.entries[i]) < lastWrite(*oldest)) oldest = &log.entries[i];
  }
  if (entry == nullptr) {
    // A full log gives up the parameter written longest ago.
    entry = log.count < kParametersKept ? &log.entries[log.count++] : oldest;
    std::memset(entry, 0, sizeof *entry);
    entry->number = static_cast<std::uint32_t>(number);
  }
  entry->value[dataIndex(controller)] = value;
  entry->when[dataIndex(controller)] = order;
}

void apply(const std::uint8_t* b, ChannelState& c, ParameterLog* log, std::uint32_t order) {
  switch (b[0] & 0xF0) {
    case 0xB0: {
      const std::uint32_t n = b[1];
      if (n >= 120) return;
      if (isDataEntry(n)) {
        if (log != nullptr) logDataEntry(*log, c, n, b[2], order);
        return;
      }
      c.controllers[n] = b[2];
      c.writtenControllers[n / 32] |= 1u << (n % 32);
      if (log != nullptr && isParameterSelect(n)) log->selectWhen[n - 98] = order;
      return;
    }
    case 0xC0:
      c.program = b[1];
      c.bankAtProgram[0] = c.controllers[0];
      c.bankAtProgram[1] = c.controllers[32];
      c.written |= kTouchedProgram;
      return;
    case 0xD0:
      c.pressure = b[1];
      c.written |= kTouchedPressure;
      return;
    case 0xE0:
      c.bend = static_cast<std::uint16_t>(b[1] | (b[2] << 7));
      c.written |= kTouchedBend;
      return;
    default:
      return;
  }
}

void touch(const std::uint8_t* b, ChannelState& c) {
  switch (b[0] & 0xF0) {
    case 0xB0:
      if (b[1] < 120 && !isDataEntry(b[1])) c.touchedControllers[b[1] / 32] |= 1u << (b[1] % 32);
      return;
    case 0xC0:
      c.touched |= kTouchedProgram;
      return;
    case 0xD0:
      c.touched |= kTouchedPressure;
      return;
    case 0xE0:
      c.touched |= kTouchedBend;
      return;
    default:
      return;
  }
}

// The message as the clock sends it: an EMIDI track's CC112 and CC113 as what they stand for.
const std::uint8_t* asSent(const std::uint8_t* b, bool emidi, std::uint8_t (&translated)[4]) {
  return emidi && emidiMessage(b, translated) ? translated : b;
}

bool isChannelMessage(const Event& e, const std::uint8_t* data) {
  return e.kind == kChannelEvent && data[e.offset] >= 0x80 && data[e.offset] < 0xF0;
}

// A track's events before the time, still to be walked: `at` is the next one that sets state
// (notes and meta events set none), `key` its place in the clock's order.
struct Cursor {
  const Event* at;
  const Event* end;
  const std::uint8_t* data;
  bool emidi;         // the track's CC112 and CC113 stand for program and volume
  std::uint64_t key;  // time << 32 | track: earlier time first, of equal times the earlier track
  bool sysex;         // system-exclusive messages are wanted too
};

bool setsState(const Event& e, const std::uint8_t* data, bool sysex) {
  if (e.kind == kSysexEvent) return sysex;
  if (e.kind != kChannelEvent) return false;
  const std::uint8_t status = data[e.offset] & 0xF0;
  return status == 0xB0 || status == 0xC0 || status == 0xD0 || status == 0xE0;
}

// Moves the cursor to its next event that sets state; false when there is none before the end.
bool skipToState(Cursor& c) {
  while (c.at != c.end && !setsState(*c.at, c.data, c.sysex)) ++c.at;
  if (c.at == c.end) return false;
  c.key = std::uint64_t{c.at->timeMs} << 32 | (c.key & 0xFFFFFFFF);
  return true;
}

// The merge's heap: the cursors' keys, the least on top.
struct HeapEntry {
  std::uint64_t key;
  std::uint32_t cursor;
};

void siftDown(HeapEntry* heap, std::uint32_t size, std::uint32_t i) {
  const HeapEntry moving = heap[i];
  for (;;) {
    std::uint32_t child = 2 * i + 1;
    if (child >= size) break;
    if (child + 1 < size && heap[child + 1].key < heap[child].key) ++child;
    if (heap[child].key > moving.key) break;  // keys differ: each holds its track
    heap[i] = heap[child];
    i = child;
  }
  heap[i] = moving;
}

// The tracks whose blocks the walk resolved (bound or not, a lock of its own), released on the
// way out.
struct TrackLocks {
  const Track* tracks;
  std::uint32_t* locked;
  std::uint32_t count = 0;
  ~TrackLocks() {
    for (std::uint32_t i = 0; i < count; ++i) {
      GlobalUnlock(tracks[locked[i]].eventBlock);
      GlobalUnlock(tracks[locked[i]].dataBlock);
    }
  }
};

}  // namespace

std::size_t walkRoomBytes(std::uint32_t trackCount) {
  return (sizeof(Cursor) + sizeof(HeapEntry) + sizeof(std::uint32_t)) *
         (trackCount + std::size_t{1});
}

bool channelStatesAt(const Track* tracks, std::uint32_t trackCount, std::uint32_t timeMs,
                     std::uint32_t untilMs, ChannelState (&channels)[16], ParameterLog* parameters,
                     SysexVisitor onSysex, void* context, void* room) {
  std::memset(channels, 0, sizeof channels);
  for (ChannelState& c : channels) {
    for (std::uint32_t n = 0; n < 128; ++n) c.controllers[n] = powerOnValue(n);
    c.bend = 8192;
  }
  if (parameters != nullptr) std::memset(parameters, 0, sizeof(ParameterLog) * 16);
  // One block for the walk: per track a cursor, a place in the heap and a lock record.
  const HGLOBAL block = room == nullptr ? GlobalAlloc(GMEM_MOVEABLE, walkRoomBytes(trackCount)) : 0;
  Resolved<Cursor> resolved(block);
  Cursor* cursors = room != nullptr ? static_cast<Cursor*>(room) : resolved.get();
  if (cursors == nullptr) {
    GlobalFree(block);
    return false;
  }
  auto* heap = reinterpret_cast<HeapEntry*>(cursors + trackCount + 1);
  std::uint32_t size = 0;
  std::uint8_t translated[4];
  {
    TrackLocks locks{tracks, reinterpret_cast<std::uint32_t*>(heap + trackCount + 1)};
    for (std::uint32_t t = 0; t < trackCount; ++t) {
      const Track& track = tracks[t];
      const std::uint32_t flags = playFlags(track);
      // A track the styles keep silent leaves nothing on the port.
      if (track.eventCount == 0 || (flags & kTrackSilent) != 0) continue;
      const bool emidi = (flags & kTrackEmidi) != 0;
      const auto* events = static_cast<const Event*>(GlobalLock(track.eventBlock));
      const auto* data = static_cast<const std::uint8_t*>(GlobalLock(track.dataBlock));
      if (events == nullptr || data == nullptr) {  // a track that cannot be read adds nothing
        if (events != nullptr) GlobalUnlock(track.eventBlock);
        if (data != nullptr) GlobalUnlock(track.dataBlock);
        continue;
      }
      locks.locked[locks.count++] = t;
      const Event* last = events + track.eventCount;
      const Event* split = firstEventAt(events, last, timeMs);
      // What the span changes is only marked: its order does not matter.
      for (const Event* e = split; e != last && e->timeMs <= untilMs; ++e) {
        if (isChannelMessage(*e, data)) {
          touch(asSent(data + e->offset, emidi, translated), channels[data[e->offset] & 0x0F]);
        }
      }
      Cursor& c = cursors[t];
      c = {events, split, data, emidi, t, onSysex != nullptr};
      if (skipToState(c)) heap[size++] = {c.key, t};
    }
    for (std::uint32_t i = size; i-- > 0;) siftDown(heap, size, i);
    std::uint32_t order = 0;
    while (size != 0) {
      Cursor& c = cursors[heap[0].cursor];
      // The top track runs on while it stays ahead of every other.
      std::uint64_t others = ~std::uint64_t{0};
      if (size > 1) others = heap[1].key;
      if (size > 2 && heap[2].key < others) others = heap[2].key;
      bool more;
      do {
        const Event& e = *c.at;
        if (isChannelMessage(e, c.data)) {
          const std::uint8_t* b = asSent(c.data + e.offset, c.emidi, translated);
          const std::uint32_t channel = b[0] & 0x0F;
          apply(b, channels[channel], parameters == nullptr ? nullptr : &parameters[channel],
                ++order);
        } else if (onSysex != nullptr) {
          onSysex(context, e, c.data);
        }
        ++c.at;
        more = skipToState(c);
      } while (more && c.key < others);
      if (more) {
        heap[0].key = c.key;
      } else {
        heap[0] = heap[--size];
      }
      siftDown(heap, size, 0);
    }
  }
  resolved.reset();
  GlobalFree(block);
  return true;
}

}  // namespace quavr
