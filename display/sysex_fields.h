#pragma once

#include <cstdint>

// Field readers of the manufacturer 0x09 sysex protocol. Each reads the assembly at fixed
// positions without comparing them with the message length: a field at or past the F7 takes
// the F7 or what earlier messages left there, on purpose, so short messages keep showing the
// values users know. Every position read lies below 12 or at most at the F7, so always inside
// the assembly.
namespace tessaly {

// Positions 0, 1 and 2 as one 24-bit number: F0 09 15 gives 0xF00915.
constexpr uint32_t SysexNumber(const uint8_t* assembly) {
  return (uint32_t{assembly[0]} << 16) | (uint32_t{assembly[1]} << 8) | assembly[2];
}

// `digits` bytes from `position`, one hexadecimal digit in the low four bits of each, least
// significant digit first; the upper bits are ignored.
constexpr uint32_t NibbleNumber(const uint8_t* assembly, int position, int digits) {
  uint32_t value = 0;
  for (int i = 0; i < digits; ++i) value |= uint32_t{assembly[position + i] & 0x0Fu} << (4 * i);
  return value;
}

// One 8-bit data value from the bytes at `position` (low nibble) and `position` + 1 (high).
constexpr uint8_t DataValue(const uint8_t* assembly, int position) {
  return static_cast<uint8_t>(((assembly[position + 1] & 0x0F) << 4) | (assembly[position] & 0x0F));
}

// Data values start here and take two bytes each.
inline constexpr int kFirstDataValue = 12;

// How many data values a message with `length` bytes before its F7 carries. When the bytes
// from position 12 to the F7 are odd in number, the last value's high nibble is the F7's 7.
constexpr int DataValueCount(int length) {
  return length > kFirstDataValue ? (length - (kFirstDataValue - 1)) / 2 : 0;
}

// A 14-bit number from two 7-bit bytes, low seven bits first: 0 to 16383.
constexpr uint32_t Number14(const uint8_t* assembly, int position) {
  return (uint32_t{assembly[position + 1] & 0x7Fu} << 7) | (assembly[position] & 0x7Fu);
}

}  // namespace tessaly
