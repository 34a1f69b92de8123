#include "playback/message_output.h"

#include "interface/device.h"

namespace quavr {

using namespace platform;

// Runs on the driver's thread. It never takes the device lock: a reset under that lock may wait
// for these very completions. Each message's two blocks are found from the header it names, so
// any number of messages can be in flight.
void QUAVR_CALLBACK longMessageDone(HMIDIOUT port, UINT message, DWORD_PTR instance,
                                    DWORD_PTR param1, DWORD_PTR) {
  if (message != MOM_DONE) return;
  const auto control = findDevice(static_cast<HGLOBAL>(instance));
  if (!control) return;
  auto* header = reinterpret_cast<MIDIHDR*>(param1);
  const HGLOBAL headerBlock = GlobalHandle(header);
  if (headerBlock == 0) return;
  const HGLOBAL dataBlock = GlobalHandle(header->lpData);
  midiOutUnprepareHeader(port, header, kMidiHdrSize);
  GlobalUnlock(headerBlock);
  GlobalUnlock(dataBlock);
  GlobalFree(headerBlock);
  GlobalFree(dataBlock);
  control->longMessagesQueued.fetch_sub(1);
}

}  // namespace quavr
