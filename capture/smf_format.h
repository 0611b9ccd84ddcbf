#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the SMF writer and reader share: the variable-length quantity and big-endian numbers.
namespace tessaly {

// A variable-length quantity holds at most 28 bits in its at most 4 bytes.
inline constexpr uint32_t kSmfMaxQuantity = 0x0FFFFFFF;

inline void AppendSmfQuantity(uint32_t value, std::string& out) {
  char bytes[4];
  int n = 0;
  bytes[n++] = static_cast<char>(value & 0x7F);
  while ((value >>= 7) != 0 && n < 4) bytes[n++] = static_cast<char>(0x80 | (value & 0x7F));
  while (n > 0) out += bytes[--n];
}

inline void AppendBigEndian(uint64_t value, int bytes, std::string& out) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace tessaly
