#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "capture/sysex_queue.h"
#include "display/output_list.h"
#include "display/sysex_decoder.h"

// Builders of device messages and a queue + decoder + list rig for the sysex tests.
namespace tessaly::sysex_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Repeat(uint8_t byte, size_t n) {
  return Bytes(n, byte);
}

inline std::string Repeat(const std::string& text, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += text;
  return out;
}

// `digits` nibble digits of `value`, least significant first, with noise in the upper bits
// (which the decoder must ignore).
inline Bytes Nibbles(uint32_t value, int digits) {
  Bytes out;
  for (int i = 0; i < digits; ++i)
    out.push_back(static_cast<uint8_t>(0x20 | ((value >> (4 * i)) & 0x0F)));
  return out;
}

// Data values as nibble pairs, low nibble first, again with noise in the upper bits.
inline Bytes DataBytes(const std::vector<uint8_t>& values) {
  Bytes out;
  for (uint8_t v : values) {
    out.push_back(static_cast<uint8_t>(0x30 | (v & 0x0F)));
    out.push_back(static_cast<uint8_t>(0x40 | (v >> 4)));
  }
  return out;
}

// n values F0, F1, ... FF, 00, 01, ...
inline std::vector<uint8_t> CountingValues(int n) {
  std::vector<uint8_t> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(0xF0 + i));
  return out;
}

inline Bytes ScanDump(const std::vector<uint8_t>& values) {
  return Cat({{0xF0, 0x09, 0x15}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, DataBytes(values), {0xF7}});
}

inline Bytes AddressedMessage(uint8_t command, uint32_t address, uint32_t length,
                              const std::vector<uint8_t>& values) {
  return Cat(
      {{0xF0, 0x09, command}, Nibbles(address, 5), Nibbles(length, 4), DataBytes(values), {0xF7}});
}

inline Bytes TextChar(uint8_t c) {
  return {0xF0, 0x09, 0x10, c, 0xF7};
}

// The queue, the decoder and its list, as in a running monitor.
struct SysexRig {
  SysexQ queue;
  OutputList list{"SysexList"};
  SysexDecoder decoder{list};
  std::atomic<uint32_t> stopRequest{0};

  // Through the queue, one drain per `chunk` bytes (the queue holds at most 8192).
  void Feed(const Bytes& bytes, size_t chunk = 4096) {
    for (size_t at = 0; at < bytes.size(); at += chunk) {
      const size_t n = std::min(chunk, bytes.size() - at);
      WriteSysexQ(queue, bytes.data() + at, n);
      Drain();
    }
  }
  void Write(const Bytes& bytes) { WriteSysexQ(queue, bytes.data(), bytes.size()); }
  void Drain() { decoder.DrainSysexQueue(queue, stopRequest); }

  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < list.Count(); ++i) out.emplace_back(list.Line(i));
    return out;
  }
};

inline std::unique_ptr<SysexRig> MakeRig() {
  return std::make_unique<SysexRig>();
}

}  // namespace tessaly::sysex_test
