#include "playback/device.h"

#include <chrono>
#include <thread>

#include "base/registry.h"
#include "platform/common/reset_messages.h"
#include "playback/message_output.h"
#include "playback/midi_status.h"
#include "playback/render_device.h"
#include "playback/transport.h"

namespace quavr {

using namespace platform;

namespace {

// Never destroyed: a timer or driver thread may still look a device up while the process exits.
Registry<std::shared_ptr<DeviceControl>>& openDevices() {
  static auto* devices = new Registry<std::shared_ptr<DeviceControl>>;
  return *devices;
}

thread_local bool tInSink = false;

}  // namespace

bool insideSink() {
  return tInSink;
}

InSink::InSink() {
  tInSink = true;
}
InSink::~InSink() {
  tInSink = false;
}

void addOpenDevice(HGLOBAL device) {
  openDevices().add(device, std::make_shared<DeviceControl>());
}

std::shared_ptr<DeviceControl> findDevice(HGLOBAL device) {
  return device == 0 ? nullptr : openDevices().find(device);
}

LockedDevice::LockedDevice(HGLOBAL device)
    : handle_(device), control_(insideSink() ? nullptr : findDevice(device)) {
  if (!control_) return;
  guard_ = std::unique_lock(control_->lock, std::try_to_lock);
  if (!guard_.owns_lock()) {  // a tick is sending: it sees us and lets go soon
    ++control_->hostsWaiting;
    guard_.lock();
    --control_->hostsWaiting;
    ++control_->hostsLetIn;
  }
  resolveIfStillOpen();
}

LockedDevice::LockedDevice(HGLOBAL device, UINT timerId)
    : handle_(device), control_(findDevice(device)) {
  if (!control_) return;
  guard_ = std::unique_lock(control_->lock, std::defer_lock);
  if (lockForTick(timerId)) resolveIfStillOpen();
}

// Host calls hold the lock briefly; polling lets the tick notice a kill of its own timer.
bool LockedDevice::lockForTick(UINT timerId) {
  while (!guard_.try_lock()) {
    if (control_->timerBeingKilled.load() == timerId) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  return true;
}

bool LockedDevice::letWaitingCallIn(UINT timerId) {
  record_.reset();
  const std::uint32_t letIn = control_->hostsLetIn.load();
  guard_.unlock();
  // The lock is not fair: the tick waits until a waiting call has had it.
  while (control_->hostsLetIn.load() == letIn) {
    if (control_->timerBeingKilled.load() == timerId) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  if (!lockForTick(timerId)) return false;
  resolveIfStillOpen();
  return static_cast<bool>(record_);
}

// The device may have been closed while this waited for its lock, and its handle even reused by
// a device opened since: only the device whose lock is held is resolved.
void LockedDevice::resolveIfStillOpen() {
  if (openDevices().find(handle_) == control_) record_ = Resolved<MidiDevice>(handle_);
}

void setUpRecord(MidiDevice& device, std::uint32_t periodMs) {
  device.periodMs = periodMs;
  device.tempo = 1000;
  device.volume = device.hostVolume = 100;
  device.lastMarker = 0xFFFFFFFF;  // no marker played yet
  for (std::uint8_t& layer : device.layerVolume) layer = 100;
  device.dueMs = device.nextBeatMs = device.nextBarMs = kNoLoop;
}

HGLOBAL openMidiDev(std::uint32_t deviceId, std::uint32_t periodMs) {
  setMidiStatus(MMSYSERR_NOERROR, "");  // and forget an earlier failure's own words
  const HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(MidiDevice));
  if (handle == 0) return 0;
  MMRESULT result;
  {
    Resolved<MidiDevice> device(handle);
    if (!device) {
      GlobalFree(handle);
      return 0;
    }
    setUpRecord(*device, periodMs);
    result = midiOutGetNumDevs() == 0 ? MIDIERR_NODEVICE
                                      : midiOutOpen(&device->midiOut, deviceId,
                                                    reinterpret_cast<DWORD_PTR>(&longMessageDone),
                                                    handle, CALLBACK_FUNCTION);
    setMidiStatus(result);  // a new record is all zeros: Idle, repeat off
  }
  if (result != MMSYSERR_NOERROR) {
    GlobalFree(handle);
    return 0;
  }
  addOpenDevice(handle);
  return handle;
}

MMRESULT closeMidiDev(HGLOBAL handle) {
  MMRESULT result;
  {
    LockedDevice device(handle);
    if (!device) return MMSYSERR_INVALHANDLE;
    releaseDevice(device);
    if (isRenderDevice(*device)) {
      result = closeRenderOutput(*device);
    } else {
      // A port refuses to close while a long message is queued (only a failure path leaves
      // one); a reset returns it. Asking the port, not a count of our own, leaves alone a
      // completion that is on its way: the port's close waits for it.
      result = midiOutClose(device->midiOut);
      if (result == MIDIERR_STILLPLAYING) {
        resetMidiDev(*device);
        result = midiOutClose(device->midiOut);
      }
    }
    setMidiStatus(result);
    openDevices().remove(handle);
  }
  GlobalFree(handle);
  return result;
}

MMRESULT resetMidiDev(MidiDevice& device) {
  if (!isRenderDevice(device)) return midiOutReset(device.midiOut);
  // A render device sends the reset itself, so that its sink sees it.
  MMRESULT result = MMSYSERR_NOERROR;
  for (const auto& message : resetMessages()) {
    const MMRESULT sent = renderMessage(device, message.data(), 3, false);
    if (sent != MMSYSERR_NOERROR) result = sent;
  }
  return result;
}

}  // namespace quavr
