// MIDI output ports on Linux: the port table behind midiOut*, long-message headers and their
// completions, and the driver thread that reports them.
// A long message is handed to the backend at once; its MOM_DONE comes from the driver thread
// afterwards, or from a reset, which reports every pending message done before it returns.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/midi/output.h"
#include "platform/platform.h"

namespace quavr::platform {

namespace {

constexpr DWORD kCallbackTypeMask = 0x00070000u;

struct Port {
  HMIDIOUT handle = 0;
  std::unique_ptr<posix::PortSink> sink;
  MidiOutProc callback = nullptr;
  DWORD_PTR instance = 0;
  std::mutex mutex;
  std::condition_variable quiet;
  bool closed = false;
  std::deque<MIDIHDR*> pending;  // handed over, MOM_DONE not yet started
  int delivering = 0;            // MOM_DONE callbacks running now
};

DWORD& flagsOf(MIDIHDR* header) {
  return header->dwFlags;
}
DWORD loadFlags(MIDIHDR* header) {
  return std::atomic_ref(flagsOf(header)).load(std::memory_order_acquire);
}
void storeFlags(MIDIHDR* header, DWORD flags) {
  std::atomic_ref(flagsOf(header)).store(flags, std::memory_order_release);
}

void notify(Port& port, UINT message, MIDIHDR* header) {
  if (port.callback != nullptr) {
    port.callback(port.handle, message, port.instance, reinterpret_cast<DWORD_PTR>(header), 0);
  }
}

void deliverDone(Port& port, MIDIHDR* header) {
  storeFlags(header, (loadFlags(header) & ~MHDR_INQUEUE) | MHDR_DONE);
  notify(port, MOM_DONE, header);
}

class PortTable {
 public:
  std::shared_ptr<Port> find(HMIDIOUT handle) {
    std::lock_guard guard(mutex_);
    auto it = ports_.find(handle);
    return it == ports_.end() ? nullptr : it->second;
  }
  HMIDIOUT add(std::shared_ptr<Port> port) {
    std::lock_guard guard(mutex_);
    do {
      next_ = next_ == 0xFFFFFFFFu ? 1 : next_ + 1;
    } while (ports_.contains(next_));
    port->handle = next_;
    ports_[next_] = std::move(port);
    return next_;
  }
  void remove(HMIDIOUT handle) {
    std::lock_guard guard(mutex_);
    ports_.erase(handle);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<HMIDIOUT, std::shared_ptr<Port>> ports_;
  HMIDIOUT next_ = 0;
};

PortTable& ports() {
  static auto* table = new PortTable;
  return *table;
}

// Reports long messages done, one at a time, in the order they were handed over.
class Driver {
 public:
  void post(std::shared_ptr<Port> port) {
    std::lock_guard guard(mutex_);
    if (!started_) {
      std::thread([this] { run(); }).detach();
      started_ = true;
    }
    work_.push_back(std::move(port));
    wake_.notify_one();
  }
  bool onDriverThread() const { return std::this_thread::get_id() == thread_.load(); }

 private:
  void run() {
    thread_.store(std::this_thread::get_id());
    std::unique_lock guard(mutex_);
    for (;;) {
      wake_.wait(guard, [&] { return !work_.empty(); });
      std::shared_ptr<Port> port = std::move(work_.front());
      work_.pop_front();
      guard.unlock();
      MIDIHDR* header = nullptr;
      {
        std::lock_guard portGuard(port->mutex);
        if (!port->pending.empty()) {
          header = port->pending.front();
          port->pending.pop_front();
          ++port->delivering;
        }
      }
      if (header != nullptr) {
        deliverDone(*port, header);
        std::lock_guard portGuard(port->mutex);
        --port->delivering;
        port->quiet.notify_all();
      }
      guard.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Port>> work_;
  std::atomic<std::thread::id> thread_;
  bool started_ = false;
};

Driver& driver() {
  static auto* instance = new Driver;
  return *instance;
}

bool validHeader(const MIDIHDR* header, UINT size) {
  return header != nullptr && size >= sizeof(MIDIHDR);
}

}  // namespace

UINT midiOutGetNumDevs() {
  return static_cast<UINT>(posix::outputDevices().size());
}

MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
  if (handle == nullptr) return MMSYSERR_INVALPARAM;
  const DWORD callbackType = flags & kCallbackTypeMask;
  if (callbackType != 0 && callbackType != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
  const auto& devices = posix::outputDevices();
  if (devices.empty()) return MMSYSERR_NODRIVER;
  if (deviceId == MIDI_MAPPER) deviceId = 0;
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  auto port = std::make_shared<Port>();
  MMRESULT result = MMSYSERR_NOERROR;
  port->sink = devices[deviceId].open(result);
  if (!port->sink) return result == MMSYSERR_NOERROR ? MMSYSERR_ERROR : result;
  if (callbackType == CALLBACK_FUNCTION) port->callback = reinterpret_cast<MidiOutProc>(callback);
  port->instance = instance;
  *handle = ports().add(port);
  notify(*port, MOM_OPEN, nullptr);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT handle) {
  auto port = ports().find(handle);
  if (!port) return MMSYSERR_INVALHANDLE;
  {
    std::unique_lock guard(port->mutex);
    if (port->closed) return MMSYSERR_INVALHANDLE;
    if (!port->pending.empty()) return MIDIERR_STILLPLAYING;
    // No completion may run once the port is closed: its owner frees what the callback uses.
    if (!driver().onDriverThread()) port->quiet.wait(guard, [&] { return port->delivering == 0; });
    port->closed = true;
  }
  ports().remove(handle);
  notify(*port, MOM_CLOSE, nullptr);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutReset(HMIDIOUT handle) {
  auto port = ports().find(handle);
  if (!port) return MMSYSERR_INVALHANDLE;
  std::deque<MIDIHDR*> returned;
  MMRESULT result;
  {
    std::lock_guard guard(port->mutex);
    if (port->closed) return MMSYSERR_INVALHANDLE;
    result = port->sink->reset();
    returned.swap(port->pending);
    port->delivering += static_cast<int>(returned.size());
  }
  for (MIDIHDR* header : returned) deliverDone(*port, header);
  std::lock_guard guard(port->mutex);
  port->delivering -= static_cast<int>(returned.size());
  port->quiet.notify_all();
  return result;
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) {
  auto port = ports().find(handle);
  if (!port) return MMSYSERR_INVALHANDLE;
  std::lock_guard guard(port->mutex);
  if (port->closed) return MMSYSERR_INVALHANDLE;
  return port->sink->shortMessage(message);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  if (!ports().find(handle)) return MMSYSERR_INVALHANDLE;
  if (!validHeader(header, size)) return MMSYSERR_INVALPARAM;
  storeFlags(header, loadFlags(header) | MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  if (!ports().find(handle)) return MMSYSERR_INVALHANDLE;
  if (!validHeader(header, size)) return MMSYSERR_INVALPARAM;
  const DWORD flags = loadFlags(header);
  if ((flags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  storeFlags(header, flags & ~MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  auto port = ports().find(handle);
  if (!port) return MMSYSERR_INVALHANDLE;
  if (!validHeader(header, size)) return MMSYSERR_INVALPARAM;
  const DWORD flags = loadFlags(header);
  if ((flags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if ((flags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  {
    std::lock_guard guard(port->mutex);
    if (port->closed) return MMSYSERR_INVALHANDLE;
    const MMRESULT result = port->sink->longMessage(
        reinterpret_cast<const std::uint8_t*>(header->lpData), header->dwBufferLength);
    if (result != MMSYSERR_NOERROR) return result;
    storeFlags(header, (flags & ~MHDR_DONE) | MHDR_INQUEUE);
    port->pending.push_back(header);
  }
  driver().post(port);
  return MMSYSERR_NOERROR;
}

}  // namespace quavr::platform
