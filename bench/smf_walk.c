#include "bench/smf_walk.h"

#include <string.h>

static uint32_t be32(const uint8_t* p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

/* A variable-length quantity of at most four bytes; returns 0 when it runs past `end`. */
static const uint8_t* vlq(const uint8_t* p, const uint8_t* end, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < 4 && p < end; ++i) {
    const uint8_t b = *p++;
    v = v << 7 | (b & 0x7Fu);
    if (b < 0x80) {
      *value = v;
      return p;
    }
  }
  return NULL;
}

static void walk_track(const uint8_t* p, const uint8_t* end, SmfWalk* out) {
  uint8_t running = 0;
  while (p < end) {
    uint32_t delta;
    if ((p = vlq(p, end, &delta)) == NULL || p == end) return;
    out->ticks += delta;
    uint8_t status = *p;
    if (status >= 0x80) {
      ++p;
    } else if (running != 0) {
      status = running;
    } else {
      return;
    }
    uint32_t length;
    if (status < 0xF0) {
      running = status;
      length = (status & 0xE0) == 0xC0 ? 1 : 2; /* program change and channel pressure: 1 */
    } else if (status == 0xFF) {
      if (p == end) return;
      ++p; /* the meta type */
      if ((p = vlq(p, end, &length)) == NULL) return;
    } else if (status == 0xF0 || status == 0xF7) {
      if ((p = vlq(p, end, &length)) == NULL) return;
    } else {
      return;
    }
    if (length > (size_t)(end - p)) return;
    p += length;
    ++out->events;
  }
}

int smf_walk(const uint8_t* bytes, size_t size, SmfWalk* out) {
  memset(out, 0, sizeof *out);
  if (size < 14 || memcmp(bytes, "MThd", 4) != 0) return 0;
  const uint8_t* p = bytes;
  const uint8_t* const end = bytes + size;
  while ((size_t)(end - p) >= 8) {
    const uint32_t length = be32(p + 4);
    const uint8_t* body = p + 8;
    const uint8_t* next = length > (size_t)(end - body) ? end : body + length;
    if (memcmp(p, "MTrk", 4) == 0) walk_track(body, next, out);
    p = next;
  }
  return 1;
}
