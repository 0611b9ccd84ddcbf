#pragma once

#include <array>
#include <cstdint>

#include "display/line_builder.h"

// The per-value fields of the dump lines, " %02X" and " %2x", taken from tables made at
// compile time: a dump of thousands of values costs no printf call per value.
namespace tessaly {

// Three characters per byte value: a blank and two digits (or a blank and one digit).
using ValueFieldTable = std::array<std::array<char, 3>, 256>;

namespace sysex_detail {
constexpr ValueFieldTable MakeValueFieldTable(bool upperCase, bool zeroPadded) {
  const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  ValueFieldTable table{};
  for (int v = 0; v < 256; ++v) {
    table[v][0] = ' ';
    table[v][1] = (v < 0x10 && !zeroPadded) ? ' ' : digits[v >> 4];
    table[v][2] = digits[v & 0x0F];
  }
  return table;
}
}  // namespace sysex_detail

// " %02X": a blank and two uppercase digits with a leading zero.
inline constexpr ValueFieldTable kUpperHexFields = sysex_detail::MakeValueFieldTable(true, true);
// " %2x": a blank and the value in lowercase right-aligned in two places.
inline constexpr ValueFieldTable kLowerHexFields = sysex_detail::MakeValueFieldTable(false, false);

// Adds the field of each of `count` data values, the first at assembly position `position`
// and each next two bytes on, to `line`.
void AddValueFields(LineBuilder& line, const uint8_t* assembly, int position, int count,
                    const ValueFieldTable& fields);

}  // namespace tessaly
