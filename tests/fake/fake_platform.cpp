#include "tests/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/common/copy_out.h"
#include "platform/common/handle_table.h"
#include "platform/common/midi_message.h"

namespace quavr::fake {

using namespace platform;

namespace {

struct Port {
  MidiOutProc callback = nullptr;
  DWORD_PTR instance = 0;
  std::vector<MIDIHDR*> queued;
};

struct Timer {
  TimerInfo info;
  TimeProc callback;
  std::uint32_t start;
  std::uint32_t fired;
};

struct File {
  std::vector<std::uint8_t> bytes;
  std::uint32_t type;
};

struct Synth {
  std::uint8_t velocity[16][128] = {};
  std::uint64_t frames = 0;
  std::vector<RenderRecord> log;
};

struct State {
  std::mutex mutex;
  std::map<HRENDER, Synth> synths;
  HRENDER nextSynth = 0x500;
  HandleTable* blocks = new HandleTable;  // kept across resets: a leak must stay countable
  int allocations = 0;
  int failAt = 0;
  std::size_t largest = 0;
  std::map<Op, std::vector<std::uint32_t>> injected;
  std::map<std::pair<Op, int>, std::uint32_t> injectedAt;  // by the call's number
  std::map<Op, int> calls;
  UINT deviceCount = 1;
  std::vector<Record> records;
  bool recording = true;
  std::vector<OpenCall> opens;
  std::map<HMIDIOUT, Port> ports;
  HMIDIOUT nextPort = 0x100;
  std::function<void()> shortHook;
  std::function<void()> allocationHook;
  std::uint32_t now = 0;
  std::map<UINT, Timer> timers;
  UINT nextTimer = 1;
  std::vector<UINT> periods;
  TIMECAPS caps{1, 1000000};
  std::map<std::string, File> files;
  std::map<std::pair<HMODULE, std::string>, std::vector<std::uint8_t>> resources;
  int openFiles = 0;
};

State& state() {
  static auto* s = new State;
  return *s;
}

// Counts the call and pops an injected result for it, if any.
bool injected(Op op, std::uint32_t& result) {
  State& s = state();
  std::lock_guard guard(s.mutex);
  const int call = ++s.calls[op];
  if (auto at = s.injectedAt.find({op, call}); at != s.injectedAt.end()) {
    result = at->second;
    return true;
  }
  auto& queue = s.injected[op];
  if (queue.empty()) return false;
  result = queue.front();
  queue.erase(queue.begin());
  return true;
}

std::string resourceKey(const char* name) {
  std::string key = "#";  // ids as "#<number>", as Windows writes them
  if (IS_INTRESOURCE(name)) return key += std::to_string(reinterpret_cast<std::uintptr_t>(name));
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.size() > 1 && upper[0] == '#')
    return key += std::to_string(std::stoul(upper.substr(1)));
  return upper;
}

void deliver(HMIDIOUT handle, const Port& port, UINT message, MIDIHDR* header) {
  if (message == MOM_DONE) header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  if (port.callback != nullptr) {
    port.callback(handle, message, port.instance, reinterpret_cast<DWORD_PTR>(header), 0);
  }
}

}  // namespace

// ---- Control -------------------------------------------------------------------------------

void reset() {
  State& s = state();
  std::lock_guard guard(s.mutex);
  s.allocations = 0;
  s.failAt = 0;
  s.largest = 0;
  s.injected.clear();
  s.injectedAt.clear();
  s.calls.clear();
  s.deviceCount = 1;
  s.records.clear();
  s.recording = true;
  s.opens.clear();
  s.ports.clear();
  s.shortHook = nullptr;
  s.allocationHook = nullptr;
  s.now = 0;
  s.timers.clear();
  s.periods.clear();
  s.caps = {1, 1000000};
  s.files.clear();
  s.resources.clear();
  s.openFiles = 0;
  s.synths.clear();
}

std::size_t liveBlocks() {
  return state().blocks->liveBlocks();
}
void failAllocation(int n) {
  std::lock_guard guard(state().mutex);
  state().failAt = state().allocations + n;
}
std::size_t largestAllocation() {
  std::lock_guard guard(state().mutex);
  return state().largest;
}
int allocationCount() {
  std::lock_guard guard(state().mutex);
  return state().allocations;
}

void inject(Op op, std::uint32_t result, int times) {
  std::lock_guard guard(state().mutex);
  for (int i = 0; i < times; ++i) state().injected[op].push_back(result);
}
void injectAt(Op op, int nth, std::uint32_t result) {
  std::lock_guard guard(state().mutex);
  state().injectedAt[{op, state().calls[op] + nth}] = result;
}
int callCount(Op op) {
  std::lock_guard guard(state().mutex);
  return state().calls[op];
}

void setDeviceCount(UINT count) {
  std::lock_guard guard(state().mutex);
  state().deviceCount = count;
}
const std::vector<Record>& records() {
  return state().records;
}
std::vector<std::uint32_t> shortMessages() {
  std::vector<std::uint32_t> out;
  for (const Record& r : state().records) {
    if (r.kind == Record::Short) out.push_back(r.message);
  }
  return out;
}
std::vector<std::vector<std::uint8_t>> longMessages() {
  std::vector<std::vector<std::uint8_t>> out;
  for (const Record& r : state().records) {
    if (r.kind == Record::Long) out.push_back(r.bytes);
  }
  return out;
}
void clearRecords() {
  std::lock_guard guard(state().mutex);
  state().records.clear();
}
const std::vector<OpenCall>& openCalls() {
  return state().opens;
}

std::vector<MIDIHDR*> queuedHeaders() {
  std::lock_guard guard(state().mutex);
  std::vector<MIDIHDR*> out;
  for (const auto& [handle, port] : state().ports) {
    out.insert(out.end(), port.queued.begin(), port.queued.end());
  }
  return out;
}

void completeLongMessage(MIDIHDR* header) {
  State& s = state();
  std::unique_lock guard(s.mutex);
  for (auto& [handle, port] : s.ports) {
    auto it = std::find(port.queued.begin(), port.queued.end(), header);
    if (it == port.queued.end()) continue;
    port.queued.erase(it);
    const HMIDIOUT h = handle;
    const Port copy = port;
    guard.unlock();
    deliver(h, copy, MOM_DONE, header);
    return;
  }
}

void completeAllLongMessages() {
  for (MIDIHDR* header : queuedHeaders()) completeLongMessage(header);
}

void notifyPorts(UINT message) {
  std::map<HMIDIOUT, Port> ports;
  {
    std::lock_guard guard(state().mutex);
    ports = state().ports;
  }
  for (const auto& [handle, port] : ports) deliver(handle, port, message, nullptr);
}

bool portOpen(HMIDIOUT port) {
  std::lock_guard guard(state().mutex);
  return state().ports.contains(port);
}
int openPortCount() {
  std::lock_guard guard(state().mutex);
  return static_cast<int>(state().ports.size());
}
void setRecording(bool on) {
  std::lock_guard guard(state().mutex);
  state().recording = on;
}
void onAllocation(std::function<void()> hook) {
  std::lock_guard guard(state().mutex);
  state().allocationHook = std::move(hook);
}
void onShortMessage(std::function<void()> hook) {
  std::lock_guard guard(state().mutex);
  state().shortHook = std::move(hook);
}

std::vector<RenderRecord> renderLog(HRENDER synth) {
  std::lock_guard guard(state().mutex);
  auto it = state().synths.find(synth);
  return it == state().synths.end() ? std::vector<RenderRecord>{} : it->second.log;
}
std::uint64_t renderFrames(HRENDER synth) {
  std::lock_guard guard(state().mutex);
  auto it = state().synths.find(synth);
  return it == state().synths.end() ? 0 : it->second.frames;
}
int openRenderCount() {
  std::lock_guard guard(state().mutex);
  return static_cast<int>(state().synths.size());
}
HRENDER onlyRender() {
  std::lock_guard guard(state().mutex);
  return state().synths.size() == 1 ? state().synths.begin()->first : 0;
}

std::uint32_t nowMs() {
  return state().now;
}
void setNowMs(std::uint32_t ms) {
  state().now = ms;
}

std::vector<TimerInfo> liveTimers() {
  std::lock_guard guard(state().mutex);
  std::vector<TimerInfo> out;
  for (const auto& [id, timer] : state().timers) out.push_back(timer.info);
  return out;
}
bool timerAlive(UINT id) {
  std::lock_guard guard(state().mutex);
  return state().timers.contains(id);
}

bool fireTimer(UINT id) {
  State& s = state();
  std::unique_lock guard(s.mutex);
  auto it = s.timers.find(id);
  if (it == s.timers.end()) return false;
  Timer& timer = it->second;
  ++timer.fired;
  s.now = timer.start + timer.fired * timer.info.delayMs;
  const TimeProc callback = timer.callback;
  const DWORD_PTR user = timer.info.user;
  if ((timer.info.flags & TIME_PERIODIC) == 0) s.timers.erase(it);
  guard.unlock();
  callback(id, 0, user, 0, 0);
  return true;
}

bool fireOnlyTimer() {
  const auto timers = liveTimers();
  return timers.size() == 1 && fireTimer(timers[0].id);
}

std::vector<UINT> activePeriods() {
  std::lock_guard guard(state().mutex);
  return state().periods;
}
void setTimerCaps(UINT minMs, UINT maxMs) {
  std::lock_guard guard(state().mutex);
  state().caps = {minMs, maxMs};
}

void addFile(const std::string& path, std::vector<std::uint8_t> bytes, std::uint32_t type) {
  std::lock_guard guard(state().mutex);
  state().files[path] = File{std::move(bytes), type};
}
void addResource(HMODULE module, const std::string& name, std::vector<std::uint8_t> bytes) {
  std::lock_guard guard(state().mutex);
  state().resources[{module, resourceKey(name.c_str())}] = std::move(bytes);
}
void addResource(HMODULE module, std::uint16_t id, std::vector<std::uint8_t> bytes) {
  std::lock_guard guard(state().mutex);
  state().resources[{module, resourceKey(MAKEINTRESOURCEA(id))}] = std::move(bytes);
}
int openFileCount() {
  std::lock_guard guard(state().mutex);
  return state().openFiles;
}

}  // namespace quavr::fake

// ---- The platform operations ----------------------------------------------------------------

namespace quavr::platform {

using fake::Op;
using fake::state;

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  std::function<void()> hook;
  {
    auto& s = state();
    std::lock_guard guard(s.mutex);
    s.largest = std::max(s.largest, bytes);
    if (++s.allocations == s.failAt) return 0;
    hook = s.allocationHook;
  }
  const HGLOBAL block = state().blocks->alloc(flags, bytes);
  if (hook) hook();
  return block;
}
LPVOID GlobalLock(HGLOBAL block) {
  return state().blocks->lock(block);
}
BOOL GlobalUnlock(HGLOBAL block) {
  return state().blocks->unlock(block) ? 1 : 0;
}
HGLOBAL GlobalFree(HGLOBAL block) {
  return state().blocks->free(block);
}
UINT GlobalFlags(HGLOBAL block) {
  return state().blocks->flags(block);
}
SIZE_T GlobalSize(HGLOBAL block) {
  return state().blocks->size(block);
}
HGLOBAL GlobalHandle(const void* address) {
  return state().blocks->handleOf(address);
}

UINT midiOutGetNumDevs() {
  std::lock_guard guard(state().mutex);
  return state().deviceCount;
}

int deviceText(UINT kind, UINT index, char* text, UINT size) {
  if (kind != DEVICE_TEXT_NAME || index >= midiOutGetNumDevs()) return -1;
  return copyOut("Fake " + std::to_string(index), text, size);
}

MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
  MMRESULT result;
  if (fake::injected(Op::MidiOutOpen, result)) return result;
  auto& s = state();
  fake::Port port;
  HMIDIOUT h;
  {
    std::lock_guard guard(s.mutex);
    s.opens.push_back({deviceId, callback, instance, flags});
    if (deviceId == MIDI_MAPPER) deviceId = 0;
    if (deviceId >= s.deviceCount) return MMSYSERR_BADDEVICEID;
    if ((flags & CALLBACK_FUNCTION) != 0) port.callback = reinterpret_cast<MidiOutProc>(callback);
    port.instance = instance;
    h = s.nextPort++;
    s.ports[h] = port;
  }
  *handle = h;
  fake::deliver(h, port, MOM_OPEN, nullptr);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT handle) {
  MMRESULT result;
  if (fake::injected(Op::MidiOutClose, result)) return result;
  auto& s = state();
  fake::Port port;
  {
    std::lock_guard guard(s.mutex);
    auto it = s.ports.find(handle);
    if (it == s.ports.end()) return MMSYSERR_INVALHANDLE;
    if (!it->second.queued.empty()) return MIDIERR_STILLPLAYING;
    port = it->second;
    s.ports.erase(it);
  }
  fake::deliver(handle, port, MOM_CLOSE, nullptr);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutReset(HMIDIOUT handle) {
  MMRESULT result;
  if (fake::injected(Op::MidiOutReset, result)) return result;
  auto& s = state();
  fake::Port port;
  std::vector<MIDIHDR*> returned;
  {
    std::lock_guard guard(s.mutex);
    auto it = s.ports.find(handle);
    if (it == s.ports.end()) return MMSYSERR_INVALHANDLE;
    s.records.push_back({fake::Record::Reset, s.now, handle, 0, {}});
    returned.swap(it->second.queued);
    port = it->second;
  }
  for (MIDIHDR* header : returned) fake::deliver(handle, port, MOM_DONE, header);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) {
  MMRESULT result;
  if (fake::injected(Op::MidiOutShortMsg, result)) return result;
  auto& s = state();
  std::function<void()> hook;
  {
    std::lock_guard guard(s.mutex);
    if (!s.ports.contains(handle)) return MMSYSERR_INVALHANDLE;
    if (s.recording) s.records.push_back({fake::Record::Short, s.now, handle, message, {}});
    hook = s.shortHook;
  }
  if (hook) hook();
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  MMRESULT result;
  if (fake::injected(Op::MidiOutPrepareHeader, result)) return result;
  if (!fake::portOpen(handle)) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  header->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  MMRESULT result;
  if (fake::injected(Op::MidiOutUnprepareHeader, result)) return result;
  if (!fake::portOpen(handle)) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if ((header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  header->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  MMRESULT result;
  if (fake::injected(Op::MidiOutLongMsg, result)) return result;
  auto& s = state();
  std::lock_guard guard(s.mutex);
  auto it = s.ports.find(handle);
  if (it == s.ports.end()) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if ((header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(header->lpData);
  s.records.push_back(
      {fake::Record::Long, s.now, handle, 0, {bytes, bytes + header->dwBufferLength}});
  header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
  it->second.queued.push_back(header);
  return MMSYSERR_NOERROR;
}

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT capsSize) {
  MMRESULT result;
  if (fake::injected(Op::TimeGetDevCaps, result)) return result;
  if (caps == nullptr || capsSize < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  std::lock_guard guard(state().mutex);
  *caps = state().caps;
  return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT periodMs) {
  MMRESULT result;
  if (fake::injected(Op::TimeBeginPeriod, result)) return result;
  auto& s = state();
  std::lock_guard guard(s.mutex);
  if (periodMs < s.caps.wPeriodMin || periodMs > s.caps.wPeriodMax) return TIMERR_NOCANDO;
  s.periods.push_back(periodMs);
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT periodMs) {
  MMRESULT result;
  if (fake::injected(Op::TimeEndPeriod, result)) return result;
  auto& s = state();
  std::lock_guard guard(s.mutex);
  auto it = std::find(s.periods.begin(), s.periods.end(), periodMs);
  if (it == s.periods.end()) return TIMERR_NOCANDO;
  s.periods.erase(it);
  return TIMERR_NOERROR;
}

UINT timeSetEvent(UINT delayMs, UINT resolutionMs, TimeProc callback, DWORD_PTR user, UINT flags) {
  MMRESULT result;
  if (fake::injected(Op::TimeSetEvent, result)) return result;
  auto& s = state();
  std::lock_guard guard(s.mutex);
  if (callback == nullptr || delayMs == 0) return 0;
  const UINT id = s.nextTimer++;
  s.timers[id] = {{id, delayMs, resolutionMs, user, flags}, callback, s.now, 0};
  return id;
}

MMRESULT timeKillEvent(UINT timerId) {
  MMRESULT result;
  if (fake::injected(Op::TimeKillEvent, result)) return result;
  std::lock_guard guard(state().mutex);
  return state().timers.erase(timerId) == 1 ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}

namespace {

void applyToSynth(fake::Synth& synth, std::uint8_t status, std::uint8_t a, std::uint8_t b) {
  const int channel = status & 0x0F;
  switch (status & 0xF0) {
    case 0x80:
      synth.velocity[channel][a & 0x7F] = 0;
      break;
    case 0x90:
      synth.velocity[channel][a & 0x7F] = b;
      break;
    case 0xB0:
      if (a == 120 || a == 123) std::memset(synth.velocity[channel], 0, 128);
      break;
    default:
      break;
  }
}

void noteRender(fake::Synth& synth, const std::uint8_t* bytes, std::size_t length) {
  if (state().recording) synth.log.push_back({synth.frames, {bytes, bytes + length}});
}

void reasonIs(char* why, UINT size, const std::string& text) {
  if (why == nullptr || size == 0) return;
  std::snprintf(why, size, "%s", text.c_str());
}

}  // namespace

MMRESULT renderOpen(HRENDER* synth, UINT, const char* soundfont, bool, char* why, UINT whySize) {
  auto& s = state();
  std::lock_guard guard(s.mutex);
  if (soundfont != nullptr) {
    auto it = s.files.find(soundfont);
    if (it == s.files.end()) {
      reasonIs(why, whySize, std::string(soundfont) + ": No such file or directory");
      return MMSYSERR_NODRIVER;
    }
    const auto& bytes = it->second.bytes;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "sfbk", 4) != 0) {
      reasonIs(why, whySize, std::string(soundfont) + " is not a soundfont");
      return MMSYSERR_NODRIVER;
    }
  }
  *synth = s.nextSynth++;
  s.synths[*synth];
  return MMSYSERR_NOERROR;
}

MMRESULT renderClose(HRENDER synth) {
  std::lock_guard guard(state().mutex);
  return state().synths.erase(synth) == 1 ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT renderShortMsg(HRENDER synth, DWORD message) {
  std::lock_guard guard(state().mutex);
  auto it = state().synths.find(synth);
  if (it == state().synths.end()) return MMSYSERR_INVALHANDLE;
  const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(message),
                                 static_cast<std::uint8_t>(message >> 8),
                                 static_cast<std::uint8_t>(message >> 16)};
  noteRender(it->second, bytes, midiMessageLength(bytes[0]));
  applyToSynth(it->second, bytes[0], bytes[1], bytes[2]);
  return MMSYSERR_NOERROR;
}

MMRESULT renderLongMsg(HRENDER synth, const std::uint8_t* bytes, DWORD length) {
  std::lock_guard guard(state().mutex);
  auto it = state().synths.find(synth);
  if (it == state().synths.end()) return MMSYSERR_INVALHANDLE;
  noteRender(it->second, bytes, length);
  return MMSYSERR_NOERROR;
}

MMRESULT renderWrite(HRENDER synth, float* out, UINT frames) {
  std::lock_guard guard(state().mutex);
  auto it = state().synths.find(synth);
  if (it == state().synths.end()) return MMSYSERR_INVALHANDLE;
  fake::Synth& sy = it->second;
  int sum = 0;
  for (const auto& channel : sy.velocity) {
    for (const std::uint8_t v : channel) sum += v;
  }
  for (UINT i = 0; i < frames; ++i) {
    const float left =
        static_cast<float>(sum) / 64.0f * (1.0f + static_cast<float>((sy.frames + i) % 7) / 8.0f);
    out[2 * i] = left;
    out[2 * i + 1] = -left / 2;
  }
  sy.frames += frames;
  return MMSYSERR_NOERROR;
}

HANDLE CreateFileA(const char* path, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  auto& s = state();
  std::lock_guard guard(s.mutex);
  auto it = s.files.find(path == nullptr ? "" : path);
  if (it == s.files.end()) return INVALID_HANDLE_VALUE;
  ++s.openFiles;
  return new fake::File(it->second);
}
DWORD GetFileType(HANDLE file) {
  return static_cast<fake::File*>(file)->type;
}
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  if (sizeHigh != nullptr) *sizeHigh = 0;
  return static_cast<DWORD>(static_cast<fake::File*>(file)->bytes.size());
}
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* bytesRead, void*) {
  MMRESULT result;
  if (fake::injected(Op::ReadFile, result)) return 0;
  const auto& data = static_cast<fake::File*>(file)->bytes;
  const DWORD n = std::min<DWORD>(bytes, static_cast<DWORD>(data.size()));
  std::memcpy(buffer, data.data(), n);
  if (bytesRead != nullptr) *bytesRead = n;
  return 1;
}
BOOL CloseHandle(HANDLE file) {
  delete static_cast<fake::File*>(file);
  std::lock_guard guard(state().mutex);
  --state().openFiles;
  return 1;
}

HRSRC FindResourceA(HMODULE module, const char* name, const char* type) {
  if (name == nullptr || reinterpret_cast<std::uintptr_t>(type) != RT_RCDATA) return nullptr;
  auto& s = state();
  std::lock_guard guard(s.mutex);
  auto it = s.resources.find({module, fake::resourceKey(name)});
  return it == s.resources.end() ? nullptr : &it->second;
}
DWORD SizeofResource(HMODULE, HRSRC resource) {
  return resource == nullptr
             ? 0
             : static_cast<DWORD>(static_cast<const std::vector<std::uint8_t>*>(resource)->size());
}
HRESDATA LoadResource(HMODULE, HRSRC resource) {
  return resource;
}
const void* LockResource(HRESDATA data) {
  return data == nullptr ? nullptr : static_cast<const std::vector<std::uint8_t>*>(data)->data();
}

}  // namespace quavr::platform
