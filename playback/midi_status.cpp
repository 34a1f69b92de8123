#include "playback/midi_status.h"

#include <cstring>
#include <mutex>

#include "platform/platform.h"

extern "C" {
QUAVR_API uint32_t uMidiStatus = 0;
}

namespace quavr {

namespace {

// A failure's own words (a soundfont that cannot be loaded, with its path), kept with its result:
// they describe uMidiStatus for as long as it holds that result.
struct StatusText {
  std::mutex lock;
  std::uint32_t result = 0;
  char text[256] = {};
};

StatusText& statusText() {
  static auto* kept = new StatusText;
  return *kept;
}

}  // namespace

void setMidiStatus(std::uint32_t result, const char* text) {
  StatusText& kept = statusText();
  std::lock_guard guard(kept.lock);
  kept.result = result;
  std::strncpy(kept.text, text, sizeof kept.text - 1);
  setMidiStatus(result);
}

std::uint32_t midiErrorText(char* buffer, std::uint32_t size) {
  StatusText& kept = statusText();
  {
    std::lock_guard guard(kept.lock);
    const std::uint32_t result = midiStatus();
    if (kept.text[0] != '\0' && kept.result == result && result != 0) {
      if (buffer == nullptr || size == 0) return platform::MMSYSERR_INVALPARAM;
      std::strncpy(buffer, kept.text, size - 1);
      buffer[size - 1] = '\0';
      return platform::MMSYSERR_NOERROR;
    }
  }
  return platform::midiOutGetErrorTextA(midiStatus(), buffer, size);
}

}  // namespace quavr
