// Texts for the MIDI and system result codes. Knows no operating system: the fake uses it too.
#include <cstring>

#include "platform/platform.h"

namespace quavr::platform {

namespace {

const char* textOf(MMRESULT error) {
  switch (error) {
    case MMSYSERR_NOERROR:
      return "The operation completed successfully.";
    case MMSYSERR_ERROR:
      return "An unspecified error occurred.";
    case MMSYSERR_BADDEVICEID:
      return "There is no MIDI output device with this number.";
    case MMSYSERR_NOTENABLED:
      return "The driver could not be enabled.";
    case MMSYSERR_ALLOCATED:
      return "The device is already in use by another program.";
    case MMSYSERR_INVALHANDLE:
      return "The handle does not name an open device.";
    case MMSYSERR_NODRIVER:
      return "No driver is installed for this device.";
    case MMSYSERR_NOMEM:
      return "There is not enough memory for this operation.";
    case MMSYSERR_NOTSUPPORTED:
      return "The device does not support this operation.";
    case MMSYSERR_BADERRNUM:
      return "The error number is not known.";
    case MMSYSERR_INVALFLAG:
      return "A flag passed to the operation is not valid.";
    case MMSYSERR_INVALPARAM:
      return "A parameter passed to the operation is not valid.";
    case MMSYSERR_HANDLEBUSY:
      return "The handle is in use by another thread.";
    case MMSYSERR_INVALIDALIAS:
      return "The device alias is not known.";
    case MMSYSERR_BADDB:
      return "The device settings are damaged.";
    case MMSYSERR_KEYNOTFOUND:
      return "A settings key was not found.";
    case MMSYSERR_READERROR:
      return "The device settings could not be read.";
    case MMSYSERR_WRITEERROR:
      return "The device settings could not be written.";
    case MMSYSERR_DELETEERROR:
      return "The device settings could not be deleted.";
    case MMSYSERR_VALNOTFOUND:
      return "A settings value was not found.";
    case MMSYSERR_NODRIVERCB:
      return "The driver did not call back.";
    case MMSYSERR_MOREDATA:
      return "More data is waiting to be returned.";
    case MIDIERR_UNPREPARED:
      return "The message header was not prepared.";
    case MIDIERR_STILLPLAYING:
      return "A message buffer is still queued on the device.";
    case MIDIERR_NOMAP:
      return "There is no MIDI map.";
    case MIDIERR_NOTREADY:
      return "The device is busy; try again later.";
    case MIDIERR_NODEVICE:
      return "There is no MIDI output device on this system.";
    case MIDIERR_INVALIDSETUP:
      return "The MIDI setup is not valid.";
    case MIDIERR_BADOPENMODE:
      return "The device cannot be opened in this mode.";
    case MIDIERR_DONT_CONTINUE:
      return "The driver asked not to continue.";
    default:
      return nullptr;
  }
}

}  // namespace

MMRESULT midiOutGetErrorTextA(MMRESULT error, char* text, UINT textSize) {
  if (text == nullptr || textSize == 0) return MMSYSERR_INVALPARAM;
  const char* known = textOf(error);
  const std::size_t length = known == nullptr ? 0 : std::strlen(known);
  const std::size_t copied = length < textSize ? length : textSize - 1;
  std::memcpy(text, known == nullptr ? "" : known, copied);
  text[copied] = '\0';
  return known == nullptr ? MMSYSERR_BADERRNUM : MMSYSERR_NOERROR;
}

}  // namespace quavr::platform
