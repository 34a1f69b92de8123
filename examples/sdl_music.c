/* A game's audio: SDL2 owns the output device and calls back for each buffer; the music is mixed
 * into it with bgmRender, over whatever the game's own sounds put there first. The song plays to
 * its end, its last notes ring out to silence, then the device closes.
 * Usage: sdl_music FILE [SOUNDFONT]   (SOUNDFONT defaults to Quavr Synth's) */
#include <SDL.h>
#include <quavr.h>
#include <stdio.h>
#include <string.h>

struct Music {
  QuavrDevice device;
  SDL_sem* silent; /* posted once, by the first silent callback after the song's end */
  int ended, posted;
};

/* Runs on SDL's audio thread: no lock, no allocation, no file; bgmRender is made for this. */
static void SDLCALL fill(void* user, Uint8* stream, int bytes) {
  struct Music* music = (struct Music*)user;
  const uint32_t frames = (uint32_t)bytes / (2 * sizeof(float));
  const float* sample = (const float*)stream;
  uint32_t i = 0;
  /* SDL2 hands the buffer over as it left it: clear it, mix the game's sounds, then the music. */
  memset(stream, 0, (size_t)bytes);
  if (bgmRender(music->device, stream, frames, QUAVR_RENDER_F32 | QUAVR_RENDER_MIX) <
      (int32_t)frames) {
    music->ended = 1; /* the release of the last notes and the reverb still sound */
  }
  /* Below half a 16-bit step the tail is silence. */
  while (i < 2 * frames && sample[i] < 1.0f / 65536 && sample[i] > -1.0f / 65536) ++i;
  if (music->ended && i == 2 * frames && !music->posted) {
    music->posted = 1;
    SDL_SemPost(music->silent);
  }
}

int main(int argc, char** argv) {
  struct Music music = {0, NULL, 0, 0};
  SDL_AudioSpec want, have;
  SDL_AudioDeviceID output;
  QuavrSong song;
  char text[256];
  if (argc < 2) {
    fprintf(stderr, "usage: sdl_music FILE [SOUNDFONT]\n");
    return 2;
  }
  if (SDL_Init(SDL_INIT_AUDIO) != 0) {
    fprintf(stderr, "SDL: %s\n", SDL_GetError());
    return 1;
  }
  /* The music first (a soundfont takes a moment to load), then the output at its rate: SDL
   * converts to the card's. */
  music.device = bgmOpenRenderDev(48000, argc > 2 ? argv[2] : NULL);
  song = bgmGetSongFile(argv[1]);
  if (music.device == 0 || song == 0) {
    bgmGetMidiErrorText(text, sizeof text);
    fprintf(stderr, "%s\n", music.device == 0 ? text : "cannot load the song");
    SDL_Quit();
    return 1;
  }
  SDL_zero(want);
  want.freq = 48000;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = fill;
  want.userdata = &music;
  output = SDL_OpenAudioDevice(NULL, 0, &want, &have, 0);
  if (output == 0) {
    fprintf(stderr, "SDL: %s\n", SDL_GetError());
    bgmCloseMidiDev(music.device);
    bgmDeleteSong(song);
    SDL_Quit();
    return 1;
  }
  music.silent = SDL_CreateSemaphore(0);
  printf("song %u ms, rate 48000 Hz, buffer %u frames\n", (unsigned)bgmGetSongLength(song),
         (unsigned)have.samples);
  fflush(stdout);
  bgmPlay(music.device, song); /* takes effect at the next callback */
  SDL_PauseAudioDevice(output, 0);
  SDL_SemWait(music.silent);
  SDL_CloseAudioDevice(output);
  SDL_DestroySemaphore(music.silent);
  bgmCloseMidiDev(music.device);
  bgmDeleteSong(song);
  SDL_Quit();
  return 0;
}
