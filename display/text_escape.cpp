#include "display/text_escape.h"

#include <cstdint>
#include <cstring>

namespace tessaly {
namespace {

constexpr bool IsControl(uint32_t code) {
  return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}

// Printable ASCII but the backslash: written as it is.
constexpr bool IsPlain(uint8_t byte) {
  return byte >= 0x20 && byte < 0x7F && byte != '\\';
}

// IsPlain for eight bytes at once: true when every one of them is plain. Per byte (no carry
// crosses a byte: each sum stays below 0x100), the top bit of `low + 0x60` is set for 0x20 and
// up, of `low + 1` for 0x7F, of `x` for 0x80 and up, and of the last term for the backslash.
constexpr bool AllPlain(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kLow = 0x7F * kOnes;
  const uint64_t low = x & kLow;
  const uint64_t belowSpace = ~(low + 0x60 * kOnes);
  const uint64_t del = low + kOnes;
  const uint64_t z = x ^ (0x5C * kOnes);
  const uint64_t backslash = ~(((z & kLow) + kLow) | z);
  return ((belowSpace | del | x | backslash) & (0x80 * kOnes)) == 0;
}

constexpr bool AllPlainAgreesForEveryByte() {
  for (uint64_t byte = 0; byte < 256; ++byte) {
    if (AllPlain(byte * 0x0101010101010101) != IsPlain(static_cast<uint8_t>(byte))) return false;
  }
  return true;
}
static_assert(AllPlainAgreesForEveryByte());

void AppendHex(uint8_t byte, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// Length of the valid UTF-8 sequence at the start of `text` and its code point, or 0 when the
// first byte does not start one (stray continuation, overlong form, surrogate, past U+10FFFF,
// cut short).
size_t DecodeUtf8(std::string_view text, uint32_t& code) {
  const auto at = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = at(0);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  size_t length = 0;
  uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((at(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (at(i) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

void AppendEscapedLine(std::string_view line, std::string& out) {
  out.reserve(out.size() + line.size());
  const char* at = line.data();
  const char* const end = at + line.size();
  while (at != end) {
    // A run of bytes that stand for themselves goes in with one append: an event line is one
    // such run, and a byte at a time through the string costs more than the rest of its way.
    const char* run = at;
    for (uint64_t word = 0; end - run >= 8; run += 8) {
      std::memcpy(&word, run, 8);
      if (!AllPlain(word)) break;
    }
    while (run != end && IsPlain(static_cast<uint8_t>(*run))) ++run;
    if (run != at) out.append(at, static_cast<size_t>(run - at));
    if (run == end) break;
    const uint8_t byte = static_cast<uint8_t>(*run);
    if (IsControl(byte)) {
      AppendHex(byte, out);
    } else if (byte == '\\') {
      out += "\\\\";
    } else {
      // Latin-1 U+00A0..U+00FF in UTF-8: two bytes, 110000xx 10xxxxxx.
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
    at = run + 1;
  }
}

size_t EscapedLineLength(std::string_view line) {
  size_t length = 0;
  for (const char c : line) {
    const uint8_t byte = static_cast<uint8_t>(c);
    length += IsControl(byte) ? 4 : byte == '\\' ? 2 : 1;
  }
  return length;
}

void AppendEscapedName(std::string_view name, std::string& out) {
  out.reserve(out.size() + name.size());
  while (!name.empty()) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(name, code);
    if (length == 0) {
      AppendHex(static_cast<uint8_t>(name[0]), out);
      name.remove_prefix(1);
      continue;
    }
    if (IsControl(code)) {
      for (size_t i = 0; i < length; ++i) AppendHex(static_cast<uint8_t>(name[i]), out);
    } else if (code == '\\') {
      out += "\\\\";
    } else {
      out.append(name.substr(0, length));
    }
    name.remove_prefix(length);
  }
}

}  // namespace tessaly
