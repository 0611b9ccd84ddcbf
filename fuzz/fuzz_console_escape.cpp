// Any line a device can cause through the console writer (ConsoleWriter over the escaping):
// the tag, TAB, the escaped line, and the newline the writer ends it with. The input is cut
// into lines at every 0xFF byte pair "\xFF\xFE" (so a line can hold any byte, newlines and
// zero bytes too) and each is written as one line.
//
// What must hold for the writer's output, byte by byte: no byte 0x00-0x1F or 0x7F but the
// TAB after each tag and the newline that ends each line; valid UTF-8 (no stray continuation
// byte, no truncated or over-long sequence, nothing above U+00FF since lines are Latin-1);
// exactly one output line per line written; and decoding the escapes gives back the line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "shell/console_escape.h"
#include "shell/console_frontend.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Checks one output line (without its newline) and returns the line it stands for.
std::string Decode(std::string_view text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t byte = static_cast<uint8_t>(text[i]);
    Check(byte >= 0x20 && byte != 0x7F, "no control byte in the output");
    if (byte == '\\') {
      Check(i + 1 < text.size(), "no lone backslash at the end");
      if (text[i + 1] == '\\') {
        line += '\\';
        i += 1;
        continue;
      }
      Check(i + 3 < text.size() && text[i + 1] == 'x', "backslash starts \\\\ or \\xHH");
      const int high = HexValue(text[i + 2]);
      const int low = HexValue(text[i + 3]);
      Check(high >= 0 && low >= 0, "two uppercase hex digits");
      const int value = high * 16 + low;
      Check(value < 0x20 || value == 0x7F || (value >= 0x80 && value <= 0x9F),
            "only control bytes are escaped as hex");
      line += static_cast<char>(value);
      i += 3;
    } else if (byte >= 0x80) {
      // Latin-1 in UTF-8: C2 or C3, then one continuation byte.
      Check(byte == 0xC2 || byte == 0xC3, "a lead byte of U+0080..U+00FF");
      Check(i + 1 < text.size(), "no truncated UTF-8 sequence");
      const uint8_t next = static_cast<uint8_t>(text[i + 1]);
      Check((next & 0xC0) == 0x80, "a continuation byte follows");
      const int value = ((byte & 0x03) << 6) | (next & 0x3F);
      Check(value >= 0xA0, "no C1 control and no over-long form");
      line += static_cast<char>(value);
      i += 1;
    } else {
      line += static_cast<char>(byte);
    }
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> lines;
  for (size_t at = 0;;) {
    const size_t cut = input.find("\xFF\xFE", at);
    lines.push_back(input.substr(at, cut == input.npos ? input.npos : cut - at));
    if (cut == input.npos) break;
    at = cut + 2;
  }

  char* text = nullptr;
  size_t length = 0;
  std::FILE* out = open_memstream(&text, &length);
  Check(out != nullptr, "memory stream");
  {
    tessaly::ConsoleWriter writer(out);
    for (std::string_view line : lines) writer.Write("midi", line);
    writer.Flush();
  }
  std::fclose(out);
  const std::string output(text, length);
  std::free(text);

  size_t at = 0;
  for (std::string_view line : lines) {
    const size_t newline = output.find('\n', at);
    Check(newline != output.npos, "every line ends in a newline");
    const std::string_view written(output.data() + at, newline - at);
    Check(written.substr(0, 5) == "midi\t", "the tag and a TAB first");
    Check(Decode(written.substr(5)) == line, "the escapes give back the line");
    // The writer and the plain escaping agree.
    Check(written.substr(5) == tessaly::Escaped(line), "the writer escapes as AppendEscaped");
    at = newline + 1;
  }
  Check(at == output.size(), "nothing after the last line");
  return 0;
}
