#include "capture/midi_result.h"

namespace tessaly {

const char* MidiResultText(MidiResult result) {
  switch (result) {
    case kNoError:
      return "The specified command was carried out.";
    case kUnspecifiedError:
      return "Undefined external error.";
    case kBadDeviceId:
      return "The device identifier is out of range.";
    case kNotEnabled:
      return "The driver failed to enable.";
    case kAllocated:
      return "The device is already in use.";
    case kInvalidHandle:
      return "The device handle is invalid.";
    case kNoDriver:
      return "No MIDI system is available.";
    case kNoMemory:
      return "Not enough memory for the request.";
    case kNotSupported:
      return "The function is not supported.";
    case kInvalidFlag:
      return "An invalid flag was passed.";
    case kInvalidParam:
      return "An invalid parameter was passed.";
    case kHandleBusy:
      return "The handle is in use by another thread.";
    case kUnprepared:
      return "The buffer header has not been prepared.";
    case kStillPlaying:
      return "A buffer is still in the queue.";
    case kServerGone:
      return "The MIDI server has gone away.";
    case kSourceGone:
      return "The MIDI source has disappeared.";
    default:
      return "Unknown error code.";
  }
}

MidiResult CopyMidiResultText(MidiResult result, char* text, size_t size) {
  if (text == nullptr || size == 0) return kInvalidParam;
  const char* source = MidiResultText(result);
  size_t i = 0;
  for (; i + 1 < size && source[i] != '\0'; ++i) text[i] = source[i];
  text[i] = '\0';
  return kNoError;
}

}  // namespace tessaly
