/* The floor a loader is measured against: a walk over a Standard MIDI File's bytes that decodes
 * every delta time, status (running status too) and length, and stores nothing. */
#ifndef QUAVR_BENCH_SMF_WALK_H
#define QUAVR_BENCH_SMF_WALK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SmfWalk {
  uint64_t events; /* events decoded in all tracks */
  uint64_t ticks;  /* the sum of every track's delta times */
} SmfWalk;

/* Walks `size` bytes; returns 0 when they do not start with a header chunk. A track that breaks
 * off (a data byte where a status is needed, or a length past the chunk's end) ends there. */
int smf_walk(const uint8_t* bytes, size_t size, SmfWalk* out);

#ifdef __cplusplus
}
#endif

#endif
