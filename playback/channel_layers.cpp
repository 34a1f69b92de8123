#include "playback/channel_layers.h"

#include <algorithm>

#include "base/shared_value.h"
#include "include/quavr.h"
#include "playback/channel_mix.h"
#include "playback/midi_status.h"
#include "playback/render_device.h"

namespace quavr {

namespace {

void setLayer(MidiDevice& device, std::uint32_t channel, std::uint32_t percent) {
  if (device.layerVolume[channel] == percent) return;
  device.layerVolume[channel] = static_cast<std::uint8_t>(percent);
  if (load(device.state) == Idle) return;  // no song on the port to turn down
  setMidiStatus(sendController(device, channel, 7, device.songVolume[channel]));
}

// Linear from `from` at 0 to `to` at the end, exactly there at the last step.
void stepChannels(MidiDevice& device, std::uint32_t mask, std::uint32_t playedMs) {
  for (std::uint32_t c = 0; c < 16; ++c) {
    if ((mask >> c & 1) == 0) continue;
    MidiDevice::LayerFade& f = device.layerFades[c];
    f.elapsedMs = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{f.elapsedMs} + playedMs, f.ms));
    const std::int64_t span = static_cast<std::int64_t>(f.to) - f.from;
    setLayer(device, c,
             f.ms == 0 ? f.to : static_cast<std::uint32_t>(f.from + span * f.elapsedMs / f.ms));
    if (f.elapsedMs >= f.ms) device.layersFading &= ~(1u << c);
  }
}

}  // namespace

void beginLayerFades(MidiDevice& device, std::uint32_t mask, std::uint32_t percent,
                     std::uint32_t ms) {
  mask &= 0xFFFF;
  percent = std::min<std::uint32_t>(percent, 100);
  if (load(device.state) == Idle) ms = 0;
  if (isRenderDevice(device) && !layersFading(device)) renderLayerFadesBegin(device);
  for (std::uint32_t c = 0; c < 16; ++c) {
    if ((mask >> c & 1) != 0) device.layerFades[c] = {device.layerVolume[c], percent, ms, 0};
  }
  device.layersFading |= mask;
  stepChannels(device, mask, load(device.periodMs));
}

void stepLayers(MidiDevice& device, std::uint32_t playedMs) {
  if (layersFading(device)) stepChannels(device, device.layersFading, playedMs);
}

}  // namespace quavr
