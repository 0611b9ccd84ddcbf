#pragma once

#include <cstddef>
#include <cstdint>
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
    // Decimal digits by arithmetic (no table load on the hottest path), others from `digits`.
    if constexpr (Base == 10) {
      reversed[n++] = static_cast<char>('0' + value % 10);
    } else {
      reversed[n++] = digits[value % Base];
    }
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

// The fields of PutFields: a number in at least `width` digits, zeros in front.
struct Decimal {
  uint32_t value;
  int width;
};
struct Hex {
  uint32_t value;
  int width;
};

inline char* Put(char* out, Decimal field) {
  return PutDecimal(out, field.value, field.width);
}
inline char* Put(char* out, Hex field) {
  return PutHex(out, field.value, field.width);
}
inline char* Put(char* out, char c) {
  *out = c;
  return out + 1;
}
// A literal's characters, not its terminator: its length is known when it is compiled.
template <size_t N>
inline char* Put(char* out, const char (&text)[N]) {
  for (size_t i = 0; i + 1 < N; ++i) *out++ = text[i];
  return out;
}

// Writes the fields one after the other (literals, characters, Decimal and Hex numbers); returns
// the end. Writes no terminator.
template <class... Fields>
inline char* PutFields(char* out, const Fields&... fields) {
  ((out = Put(out, fields)), ...);
  return out;
}

}  // namespace tessaly
