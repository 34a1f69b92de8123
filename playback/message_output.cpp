#include "playback/message_output.h"

#include <cstring>

#include "base/shared_value.h"
#include "platform/common/midi_message.h"
#include "playback/render_device.h"

namespace quavr {

using namespace platform;

namespace {

constexpr UINT kSharedBlock = GMEM_DDESHARE | GMEM_ZEROINIT;

MMRESULT sendShortMessage(HMIDIOUT port, const Event& event, const std::uint8_t* data) {
  const std::uint8_t* b = data + event.offset;
  const DWORD message = b[0] | (DWORD{b[1]} << 8) | (DWORD{b[2]} << 16) | (DWORD{b[3]} << 24);
  return midiOutShortMsg(port, message);
}

// Copies the event into a fresh header and data block and hands them to the port. They stay
// resolved until the port reports the message done (longMessageDone), or are freed at once when
// the port refuses it, since then no completion follows.
MMRESULT sendLongMessage(HMIDIOUT port, const Event& event, const std::uint8_t* data) {
  const HGLOBAL headerBlock = GlobalAlloc(kSharedBlock, sizeof(MIDIHDR));
  const HGLOBAL dataBlock = headerBlock == 0 ? 0 : GlobalAlloc(kSharedBlock, event.length);
  Resolved<MIDIHDR> header(headerBlock);
  Resolved<char> bytes(dataBlock);
  if (!header || !bytes) {
    header.reset();
    bytes.reset();
    GlobalFree(headerBlock);
    GlobalFree(dataBlock);
    return MMSYSERR_NOMEM;
  }
  if (event.length != 0) std::memcpy(bytes.get(), data + event.offset, event.length);
  header->lpData = bytes.get();
  header->dwBufferLength = event.length;
  midiOutPrepareHeader(port, header.get(), kMidiHdrSize);
  MIDIHDR* const handedOver = header.get();
  header.release();  // from here the completion releases both blocks
  bytes.release();
  const MMRESULT result = midiOutLongMsg(port, handedOver, kMidiHdrSize);
  if (result != MMSYSERR_NOERROR) {
    midiOutUnprepareHeader(port, handedOver, kMidiHdrSize);
    GlobalUnlock(headerBlock);
    GlobalUnlock(dataBlock);
    GlobalFree(headerBlock);
    GlobalFree(dataBlock);
  }
  return result;
}

}  // namespace

MMRESULT sendShort(MidiDevice& device, std::uint32_t status, std::uint32_t data1,
                   std::uint32_t data2) {
  if (isRenderDevice(device)) {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(status),
                                   static_cast<std::uint8_t>(data1),
                                   static_cast<std::uint8_t>(data2)};
    return renderMessage(device, bytes, midiMessageLength(bytes[0]), false);
  }
  return midiOutShortMsg(load(device.midiOut), status | (data1 << 8) | (data2 << 16));
}

MMRESULT sendEvent(MidiDevice& device, const Event& event, const std::uint8_t* data) {
  if (event.kind == kMetaEvent) return MMSYSERR_NOERROR;  // never sent
  const bool isLong = event.kind == kSysexEvent || event.kind == kEscapeEvent;
  if (isRenderDevice(device)) {
    const std::uint8_t* bytes = data + event.offset;
    return renderMessage(device, bytes, isLong ? event.length : midiMessageLength(bytes[0]),
                         isLong);
  }
  const HMIDIOUT port = load(device.midiOut);
  return isLong ? sendLongMessage(port, event, data) : sendShortMessage(port, event, data);
}

// Runs on the driver's thread. It never takes the device lock: a reset under that lock may wait
// for these very completions. Each message's blocks are found from the header the completion
// names, so any number of messages can be in flight and each is freed exactly once, even one
// that outlives its device (a close whose reset and close both failed).
void QUAVR_CALLBACK longMessageDone(HMIDIOUT port, UINT message, DWORD_PTR, DWORD_PTR param1,
                                    DWORD_PTR) {
  if (message != MOM_DONE) return;
  auto* header = reinterpret_cast<MIDIHDR*>(param1);
  const HGLOBAL headerBlock = GlobalHandle(header);
  if (headerBlock == 0) return;  // not a header of ours
  const HGLOBAL dataBlock = GlobalHandle(header->lpData);
  midiOutUnprepareHeader(port, header, kMidiHdrSize);
  GlobalUnlock(headerBlock);
  GlobalUnlock(dataBlock);
  GlobalFree(headerBlock);
  GlobalFree(dataBlock);
}

}  // namespace quavr
