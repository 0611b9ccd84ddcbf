#include "display/filter_set.h"

#include "capture/midi_constants.h"

namespace tessaly {

bool FilterSet::Hides(uint32_t message) const {
  const uint8_t status = message & 0xFF;
  const uint8_t velocity = (message >> 16) & 0xFF;
  switch (status & 0xF0) {
    case kNoteOff:
      return Flag(FilterId::kKeyOff) != 0;
    case kNoteOn:
      return Flag(FilterId::kKeyOn) != 0 ||
             (Flag(FilterId::kVelocityZeroKeyOff) != 0 && velocity == 0);
    case kKeyPressure:
      return Flag(FilterId::kKeyPressure) != 0;
    case kControlChange:
      return Flag(FilterId::kControlChange) != 0;
    case kProgramChange:
      return Flag(FilterId::kProgramChange) != 0;
    case kChannelPressure:
      return Flag(FilterId::kChannelPressure) != 0;
    case kPitchBend:
      return Flag(FilterId::kPitchBend) != 0;
    default:
      return false;
  }
}

}  // namespace tessaly
