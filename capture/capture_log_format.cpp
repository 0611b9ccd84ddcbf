#include "capture/capture_log_format.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace tessaly {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// Every byte's two lower-case hex digits, so that a data byte costs one copy.
constexpr auto kHexPairs = [] {
  std::array<char, 512> pairs{};
  for (size_t byte = 0; byte < 256; ++byte) {
    pairs[2 * byte] = kHex[byte >> 4];
    pairs[2 * byte + 1] = kHex[byte & 0xF];
  }
  return pairs;
}();

constexpr std::string_view kLossNames[kSystemLossKinds] = {"jack-read-failed", "jack-lost-events",
                                                           "jack-xrun", "alsa-overrun"};

void AppendNumber(uint64_t n, std::string& out) {
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, n);
  (void)error;  // 24 places hold any 64-bit number
  out.append(digits, end);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The next blank-separated word of `rest`, taken off it.
std::string_view Word(std::string_view& rest) {
  const size_t end = rest.find(' ');
  const std::string_view word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return word;
}

bool ParseUnsigned(std::string_view text, uint64_t& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
  return !text.empty() && error == std::errc() && stop == end;
}

bool ParseHexBytes(std::string_view text, std::string& out) {
  out.clear();
  while (!text.empty()) {
    if (text.size() < 2) return false;
    const int high = HexValue(text[0]);
    const int low = HexValue(text[1]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high << 4 | low);
    text.remove_prefix(2);
    if (!text.empty()) {
      if (text[0] != ' ') return false;
      text.remove_prefix(1);
      if (text.empty()) return false;  // a trailing blank
    }
  }
  return true;
}

bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte >= 0x7F) return false;  // always escaped by the writer
    if (byte != '\\') {
      out += text[i];
      continue;
    }
    if (text.size() - i < 4 || text[i + 1] != 'x') return false;
    const int high = HexValue(text[i + 2]);
    const int low = HexValue(text[i + 3]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high << 4 | low);
    i += 3;
  }
  return true;
}

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::string_view CaptureLossName(SystemLoss loss) {
  return kLossNames[static_cast<size_t>(loss)];
}

void AppendCaptureLogLine(const CaptureEvent& event, std::string& out) {
  CaptureLogLineWriter().Append(event, out);
}

void CaptureLogLineWriter::Append(const CaptureEvent& event, std::string& out) {
  // A time before the clock's start cannot come from it; it is written as 0.
  const uint64_t ns = event.ns < 0 ? 0 : static_cast<uint64_t>(event.ns);
  if (ns != ns_) {
    const auto [end, error] = std::to_chars(digits_, digits_ + sizeof digits_, ns);
    (void)error;  // 24 places hold any 64-bit number
    ns_ = ns;
    digitCount_ = static_cast<size_t>(end - digits_);
  }
  if (event.kind == CaptureKind::kData) {
    // The recorder's common case: sized once, then written in place.
    const size_t at = out.size();
    out.resize(at + digitCount_ + 5 + 3 * event.bytes.size() + 1);
    char* p = out.data() + at;
    std::memcpy(p, digits_, digitCount_);
    p += digitCount_;
    std::memcpy(p, " data", 5);
    p += 5;
    for (const uint8_t byte : event.bytes) {
      p[0] = ' ';
      std::memcpy(p + 1, &kHexPairs[2 * size_t{byte}], 2);
      p += 3;
    }
    *p = '\n';
    return;
  }
  out.append(digits_, digitCount_);
  switch (event.kind) {
    case CaptureKind::kPort:
      out += " port ";
      for (const uint8_t byte : event.bytes) {
        if (byte < 0x20 || byte >= 0x7F || byte == '\\') {
          out += "\\x";
          out.append(&kHexPairs[2 * size_t{byte}], 2);
        } else {
          out += static_cast<char>(byte);
        }
      }
      break;
    case CaptureKind::kData:
      break;  // above
    case CaptureKind::kDropMessages:
      out += " drop messages ";
      AppendNumber(event.count, out);
      break;
    case CaptureKind::kDropSysexBytes:
      out += " drop sysex-bytes ";
      AppendNumber(event.count, out);
      break;
    case CaptureKind::kLoss:
      out += " loss ";
      out += CaptureLossName(event.loss);
      out += ' ';
      if (event.counted) {
        AppendNumber(event.count, out);
      } else {
        out += '-';
      }
      break;
    case CaptureKind::kCut:
      out += " cut";
      break;
  }
  out += '\n';
}

std::string ParseCaptureLogLine(std::string_view line, CaptureEvent& event, std::string& scratch) {
  std::string_view rest = line;
  uint64_t ns = 0;
  if (!ParseUnsigned(Word(rest), ns) ||
      ns > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    return "no time in nanoseconds";
  }
  event = CaptureEvent{};
  event.ns = static_cast<int64_t>(ns);
  const std::string_view kind = Word(rest);
  scratch.clear();
  if (kind == "port") {
    if (!Unescape(rest, scratch)) return "bad port name";
    event.kind = CaptureKind::kPort;
    event.bytes = Bytes(scratch);
    return {};
  }
  if (kind == "data") {
    if (rest.empty() || !ParseHexBytes(rest, scratch)) return "bad hex bytes";
    event.kind = CaptureKind::kData;
    event.bytes = Bytes(scratch);
    return {};
  }
  if (kind == "drop") {
    const std::string_view what = Word(rest);
    if (what == "messages") {
      event.kind = CaptureKind::kDropMessages;
    } else if (what == "sysex-bytes") {
      event.kind = CaptureKind::kDropSysexBytes;
    } else {
      return "unknown drop kind";
    }
    if (!ParseUnsigned(rest, event.count)) return "bad count";
    return {};
  }
  if (kind == "loss") {
    const std::string_view name = Word(rest);
    size_t i = 0;
    while (i < kSystemLossKinds && kLossNames[i] != name) ++i;
    if (i == kSystemLossKinds) return "unknown loss kind";
    event.kind = CaptureKind::kLoss;
    event.loss = static_cast<SystemLoss>(i);
    if (rest == "-") {
      event.counted = false;
    } else if (!ParseUnsigned(rest, event.count)) {
      return "bad count";
    }
    return {};
  }
  if (kind == "cut") {
    if (!rest.empty() || line.back() == ' ') return "text after cut";
    event.kind = CaptureKind::kCut;
    return {};
  }
  return "unknown event kind";
}

}  // namespace tessaly
