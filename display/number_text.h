#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Numbers as text for the drain's hot lines, written straight into a caller's buffer. They give
// exactly what "%0*u" and "%0*X" give (zero-padded to a minimum width, never cut), at a fraction
// of the cost of a printf call per field: the drain formats several fields for every event.
namespace tessaly {

// The largest text either writes: 20 digits for a 64-bit number.
inline constexpr int kMaxNumberDigits = 20;

// Writes `value` in decimal, at least `minDigits` digits (zeros in front, at most
// kMaxNumberDigits); returns the end. Writes no terminator.
template <class Unsigned>
inline char* PutDecimal(char* out, Unsigned value, int minDigits) {
  static_assert(std::is_unsigned_v<Unsigned> && sizeof(Unsigned) <= 8);
  char digits[kMaxNumberDigits];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < minDigits && n < kMaxNumberDigits) digits[n++] = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Writes `value` in upper-case hexadecimal, at least `minDigits` digits (at most 8); returns the
// end. Writes no terminator.
inline char* PutHex(char* out, uint32_t value, int minDigits) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (n < minDigits && n < 8) digits[n++] = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Copies a literal's characters (not its terminator); returns the end.
template <size_t N>
inline char* PutText(char* out, const char (&text)[N]) {
  for (size_t i = 0; i + 1 < N; ++i) *out++ = text[i];
  return out;
}

}  // namespace tessaly
