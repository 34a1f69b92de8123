/* Music that follows the game, on a render device. The calm arrangement of a theme plays; the
 * fight starts, and the combat arrangement of the same theme takes over on the next bar line, at
 * the same bar and beat; later its drums (channel 10, a layer held silent until then) come in
 * on a bar. The device renders messages only (no soundfont): a message sink logs each message
 * with its frame, and the example checks that the switch and the layer landed on the frames of
 * their bar lines: song time t sounds at frame floor(t * rate / tempo), tempo in permille.
 * Usage: adaptive_music [DIR [RATE TEMPO]]   (DIR holds calm_theme.mid and combat_theme.mid;
 *        44100 Hz and a tempo setting of 997 permille by default; the game's timeline fits
 *        tempos of 500-2000) */
#include <quavr.h>
#include <stdio.h>
#include <stdlib.h>

#define BUFFER 512      /* frames per audio callback */
#define DRUMS (1u << 9) /* channel 10 */
#define MAX_LOGGED 8192

struct Message {
  uint64_t frame;
  uint8_t bytes[3];
};

struct Log {
  uint64_t callStart; /* the frame the bgmRender being made began at */
  uint32_t count;
  struct Message messages[MAX_LOGGED];
};

/* Called inside bgmRender for each message, with its frame in that call. */
static void QUAVR_CALL logMessage(void* user, uint32_t frame, const uint8_t* bytes,
                                  uint32_t length) {
  struct Log* log = (struct Log*)user;
  struct Message* m;
  if (log->count == MAX_LOGGED || length > 3) return; /* system exclusive: not needed here */
  m = &log->messages[log->count];
  m->frame = log->callStart + frame;
  m->bytes[0] = bytes[0];
  m->bytes[1] = length > 1 ? bytes[1] : 0;
  m->bytes[2] = length > 2 ? bytes[2] : 0;
  ++log->count;
}

static uint32_t rate, tempo;

/* The frame song time `ms` sounds at, and the first song time not played by frame `frame`. */
static uint64_t frameOf(uint64_t ms) {
  return ms * rate / tempo;
}
static uint64_t unplayedAt(uint64_t frame) {
  return (frame * tempo + rate - 1) / rate;
}

/* The first bar of `song` that begins at `ms` or later. */
static uint32_t nextBar(QuavrSong song, uint64_t ms) {
  uint32_t bar = 0;
  while (bgmGetSongInfo(song, QUAVR_INFO_BAR_TIME, bar) < ms) ++bar;
  return bar;
}

/* The first logged message at or after `frame` whose status is `status`; NULL when none is. */
static const struct Message* firstMessage(const struct Log* log, uint64_t frame, uint8_t status) {
  uint32_t i;
  for (i = 0; i < log->count; ++i) {
    if (log->messages[i].frame >= frame && log->messages[i].bytes[0] == status) {
      return &log->messages[i];
    }
  }
  return NULL;
}

/* Did `what` come on the frame of song time `ms`? */
static int check(const char* what, uint64_t frame, uint32_t ms) {
  const uint64_t expected = frameOf(ms);
  printf("  %s at frame %llu; its bar line: floor(%u * %u / %u) = %llu: %s\n", what,
         (unsigned long long)frame, (unsigned)ms, (unsigned)rate, (unsigned)tempo,
         (unsigned long long)expected, frame == expected ? "ok" : "WRONG");
  return frame == expected;
}

static QuavrSong load(const char* dir, const char* name) {
  char path[1024];
  QuavrSong song;
  snprintf(path, sizeof path, "%s/%s", dir, name);
  song = bgmGetSongFile(path);
  if (song == 0) fprintf(stderr, "cannot load %s\n", path);
  return song;
}

static void say(QuavrDevice music, uint64_t frame, const char* what) {
  const uint32_t at = bgmGetPlayInfo(music, QUAVR_PLAY_BAR_BEAT);
  printf("frame %llu (bar %u, beat %u): %s\n", (unsigned long long)frame, (unsigned)QUAVR_BAR(at),
         (unsigned)QUAVR_BEAT(at), what);
}

int main(int argc, char** argv) {
  static struct Log log;
  const char* dir = argc > 1 ? argv[1] : "examples";
  QuavrDevice music;
  QuavrSong calm, combat;
  uint64_t frame, fightAt = 0, combatAt = 0, closeInAt = 0, layerFrame;
  uint32_t switchBar, switchMs, entryMs, layerBar, layerMs, steps = 0, wrong = 0, i;
  const struct Message *switched, *last = NULL;
  int ok;
  rate = argc > 3 ? (uint32_t)strtoul(argv[2], NULL, 10) : 44100;
  tempo = argc > 3 ? (uint32_t)strtoul(argv[3], NULL, 10) : 997;

  music = bgmOpenRenderDev(rate, ""); /* "": no synthesizer, messages only */
  calm = load(dir, "calm_theme.mid");
  combat = load(dir, "combat_theme.mid");
  if (music == 0 || calm == 0 || combat == 0) return 1;
  bgmSetMessageSink(music, logMessage, &log);
  bgmSetTempo(music, tempo);
  bgmSetRepeat(music, 1);
  bgmFadeChannels(music, QUAVR_AT_NOW, DRUMS, 0, 0); /* the drums wait, silent */
  bgmPlay(music, calm);
  printf("%u Hz, tempo %u permille, %u-frame buffers, messages only\n", (unsigned)rate,
         (unsigned)tempo, BUFFER);

  /* The game's audio callback, the game acting between two buffers: the fight starts 3.3 s in,
   * the enemies close in 2 s after the combat music began; 5 s more to hear the drums. */
  for (frame = 0; closeInAt == 0 || frame < closeInAt + 5ull * rate; frame += BUFFER) {
    const uint64_t now = frame + BUFFER;
    log.callStart = frame;
    bgmRender(music, NULL, BUFFER, 0);
    if (bgmGetPlayInfo(music, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_QUEUED) {
      say(music, now, "a queued action took effect in the last buffer");
      if (combatAt == 0) combatAt = now;
    }
    if (fightAt == 0 && now >= 33ull * rate / 10) {
      fightAt = now;
      say(music, now, "the fight starts: combat from the next bar, same bar and beat");
      bgmQueueSong(music, combat, QUAVR_AT_BAR, QUAVR_NONE, QUAVR_TAIL_RING);
    }
    if (combatAt != 0 && closeInAt == 0 && now >= combatAt + 2ull * rate) {
      closeInAt = now;
      say(music, now, "enemies close in: drums in over 100 ms from the next bar");
      bgmFadeChannels(music, QUAVR_AT_BAR, DRUMS, 100, 100);
    }
  }

  /* The switch: the calm's bar after the call, where the combat's state (its programs first)
   * goes out. The combat enters at its own time of that bar and beat. */
  switchBar = nextBar(calm, unplayedAt(fightAt));
  switchMs = bgmGetSongInfo(calm, QUAVR_INFO_BAR_TIME, switchBar);
  entryMs = bgmGetSongInfo(combat, QUAVR_INFO_BAR_TIME, switchBar);
  switched = firstMessage(&log, fightAt, 0xC0); /* channel 1's program */
  printf("switch to combat at calm's bar %u (%u ms), combat entering at %u ms\n",
         (unsigned)switchBar, (unsigned)switchMs, (unsigned)entryMs);
  ok = switched != NULL && check("its programs", switched->frame, switchMs);

  /* From there the combat's song time t sounds where the calm's switchMs + (t - entryMs) would.
   * The fade steps each ms of frames (fades run in time played, not song time), its first on
   * the bar line: with the song's CC7 of 100, step k sends CC7 k + 1. */
  layerBar = nextBar(combat, unplayedAt(closeInAt) - switchMs + entryMs);
  layerMs = bgmGetSongInfo(combat, QUAVR_INFO_BAR_TIME, layerBar);
  layerFrame = frameOf(layerMs + switchMs - entryMs);
  printf("drums in at combat's bar %u (%u ms)\n", (unsigned)layerBar, (unsigned)layerMs);
  for (i = 0; i < log.count; ++i) {
    const struct Message* m = &log.messages[i];
    if (m->frame > layerFrame + rate / 10) break; /* the fade's 100 ms are over */
    if (m->frame < closeInAt || m->bytes[0] != 0xB9 || m->bytes[1] != 7) continue;
    if (steps == 0) ok = check("its first step", m->frame, layerMs + switchMs - entryMs) && ok;
    wrong += m->frame != layerFrame + (uint64_t)steps * rate / 1000 || m->bytes[2] != steps + 1;
    last = m;
    ++steps;
  }
  if (last != NULL) {
    printf("  CC7 of channel 10 up to %u at frame %llu: %u steps, %u off the ms of frames\n",
           (unsigned)last->bytes[2], (unsigned long long)last->frame, (unsigned)steps,
           (unsigned)wrong);
  }
  ok = ok && steps == 100 && wrong == 0;

  bgmCloseMidiDev(music);
  bgmDeleteSong(calm);
  bgmDeleteSong(combat);
  printf("%s\n", ok ? "every frame as the grid says" : "FRAMES WRONG");
  return ok ? 0 : 1;
}
