#include "display/filter_set.h"

#include "capture/midi_constants.h"

namespace tessaly {

uint32_t& FilterSet::Flag(FilterId id) {
  switch (id) {
    case FilterId::kKeyOff:
      return keyOff;
    case FilterId::kKeyOn:
      return keyOn;
    case FilterId::kVelocityZeroKeyOff:
      return velocityZeroKeyOff;
    case FilterId::kKeyPressure:
      return keyPressure;
    case FilterId::kControlChange:
      return controlChange;
    case FilterId::kProgramChange:
      return programChange;
    case FilterId::kChannelPressure:
      return channelPressure;
    case FilterId::kPitchBend:
      break;
  }
  return pitchBend;
}

bool FilterSet::Hides(uint32_t message) const {
  const uint8_t status = message & 0xFF;
  const uint8_t velocity = (message >> 16) & 0xFF;
  switch (status & 0xF0) {
    case kNoteOff:
      return keyOff != 0;
    case kNoteOn:
      return keyOn != 0 || (velocityZeroKeyOff != 0 && velocity == 0);
    case kKeyPressure:
      return keyPressure != 0;
    case kControlChange:
      return controlChange != 0;
    case kProgramChange:
      return programChange != 0;
    case kChannelPressure:
      return channelPressure != 0;
    case kPitchBend:
      return pitchBend != 0;
    default:
      return false;
  }
}

}  // namespace tessaly
