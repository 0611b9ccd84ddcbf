#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "display/output_list.h"
#include "tests/support/parse_time.h"

namespace tessaly::testing {

// For a list in which each line stands for one message of a numbered run (the number is the
// message's time stamp): the first line that breaks the run, described, or "" when none does.
// Each line's number must rise from the line before (none out of order or shown twice), be at
// most `sent`, and the line must begin with `expected(number)` (be it, when `whole`): nothing
// torn.
template <typename Expected>
std::string FirstSequenceFault(const OutputList& lines, uint64_t sent, bool whole,
                               Expected expected) {
  uint64_t previous = 0;
  for (size_t k = 0; k < lines.Count(); ++k) {
    const std::string line(lines.Line(k));
    const std::string where = "line " + std::to_string(k) + " \"" + line + "\": ";
    uint64_t seq = 0;
    if (!ParseTime(line, seq)) return where + "no time stamp";
    if (seq <= previous) return where + "out of order or repeated";
    if (seq > sent) return where + "numbered past the last message sent";
    const std::string want = expected(static_cast<uint32_t>(seq));
    if ((whole ? std::string_view(line) : std::string_view(line).substr(0, want.size())) != want) {
      return where + "torn event";
    }
    previous = seq;
  }
  return "";
}

}  // namespace tessaly::testing
