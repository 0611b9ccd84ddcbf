#pragma once

#include <array>
#include <cstddef>
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

inline constexpr size_t kFilterCount = static_cast<size_t>(FilterId::kPitchBend) + 1;

struct FilterSet {
  // One flag per filter, indexed by its id; 1 hides.
  std::array<uint32_t, kFilterCount> flags{};

  uint32_t& Flag(FilterId id) { return flags[static_cast<size_t>(id)]; }
  uint32_t Flag(FilterId id) const { return flags[static_cast<size_t>(id)]; }
  // A click on the filter's button.
  void Toggle(FilterId id) { Flag(id) ^= 1; }
  // True when the packed short message is hidden.
  bool Hides(uint32_t message) const;
};

}  // namespace tessaly
