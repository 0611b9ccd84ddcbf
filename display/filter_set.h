#pragma once

#include <cstdint>

// Display filters: a set flag hides a kind of channel message from BasicMessageList. Events
// with status 0xF0-0xFF or below 0x80 are never hidden. Window thread only.
namespace tessaly {

enum class FilterId {
  kKeyOff,
  kKeyOn,
  kVelocityZeroKeyOff,
  kKeyPressure,
  kControlChange,
  kProgramChange,
  kChannelPressure,
  kPitchBend,
};

struct FilterSet {
  uint32_t keyOff = 0;
  uint32_t keyOn = 0;
  uint32_t velocityZeroKeyOff = 0;
  uint32_t keyPressure = 0;
  uint32_t controlChange = 0;
  uint32_t programChange = 0;
  uint32_t channelPressure = 0;
  uint32_t pitchBend = 0;

  uint32_t& Flag(FilterId id);
  uint32_t Flag(FilterId id) const { return const_cast<FilterSet*>(this)->Flag(id); }
  // A click on the filter's button.
  void Toggle(FilterId id) { Flag(id) ^= 1; }
  // True when the packed short message is hidden.
  bool Hides(uint32_t message) const;
};

}  // namespace tessaly
