#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

// The one formatter of the drains' hot lines: numbers and texts written straight into a
// caller's buffer. PutDecimal gives what "%0*u" gives, PutHex what "%0*X" gives (or, with the
// lower-case digits and a blank for padding, "%*x"): padded to a minimum width, never cut. It
// costs a fraction of a printf call per field, and the drains format several fields for every
// event and every dump value. Our own literal lines still go through printf (LineBuilder).
namespace tessaly {

// The largest number text either writes: 20 digits for a 64-bit number.
inline constexpr int kMaxNumberDigits = 20;

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
inline constexpr char kLowerHexDigits[] = "0123456789abcdef";

// Writes `value` in `Base`, at least `minWidth` characters (`pad` in front, at most
// kMaxNumberDigits in all), with `digits` as the digit characters; returns the end. Writes no
// terminator.
template <unsigned Base, class Unsigned>
inline char* PutNumber(char* out, Unsigned value, int minWidth, const char* digits, char pad) {
  static_assert(std::is_unsigned_v<Unsigned> && sizeof(Unsigned) <= 8);
  char reversed[kMaxNumberDigits];
  int n = 0;
  do {
    reversed[n++] = digits[value % Base];
    value /= Base;
  } while (value != 0);
  while (n < minWidth && n < kMaxNumberDigits) reversed[n++] = pad;
  while (n > 0) *out++ = reversed[--n];
  return out;
}

// "%0*u": decimal, zeros in front.
template <class Unsigned>
inline char* PutDecimal(char* out, Unsigned value, int minDigits) {
  return PutNumber<10>(out, value, minDigits, kUpperHexDigits, '0');
}

// "%0*X" by default; "%*x" with kLowerHexDigits and a blank.
inline char* PutHex(char* out, uint32_t value, int minDigits, const char* digits = kUpperHexDigits,
                    char pad = '0') {
  return PutNumber<16>(out, value, minDigits, digits, pad);
}

// A byte in two hexadecimal places: what PutHex gives with a minimum of 2 digits, without its
// loop (the dumps write one for every data value).
inline char* PutHexByte(char* out, uint8_t value, const char* digits = kUpperHexDigits,
                        char pad = '0') {
  out[0] = value < 0x10 ? pad : digits[value >> 4];
  out[1] = digits[value & 0x0F];
  return out + 2;
}

// Copies a text's characters (no terminator); returns the end.
inline char* PutText(char* out, std::string_view text) {
  for (char c : text) *out++ = c;
  return out;
}

}  // namespace tessaly
