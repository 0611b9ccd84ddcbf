#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tessaly::testing {

// Reads the milliseconds back out of a " Time.D..HH:MM:SS.mmm- " prefix; false when the line
// does not begin with one.
inline bool ParseTime(std::string_view line, uint64_t& ms) {
  unsigned days = 0, hours = 0, minutes = 0, seconds = 0, millis = 0;
  const std::string text(line.substr(0, 40));
  if (std::sscanf(text.c_str(), " Time.%u..%u:%u:%u.%u-", &days, &hours, &minutes, &seconds,
                  &millis) != 5) {
    return false;
  }
  ms = (((uint64_t{days} * 24 + hours) * 60 + minutes) * 60 + seconds) * 1000 + millis;
  return true;
}

}  // namespace tessaly::testing
