#include "display/line_builder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tessaly {

LineBuilder& LineBuilder::Add(std::string_view text) {
  const size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  return AddWritten(text);
}

LineBuilder& LineBuilder::AddWritten(std::string_view text) {
  while (!text.empty()) {
    if (length_ == kMaxBuiltLine) {
      // Full: this part of the line goes out now and the text continues on the next line.
      list_.AppendLine(std::string_view(line_, length_));
      length_ = 0;
    }
    const size_t n = std::min(text.size(), kMaxBuiltLine - length_);
    std::memcpy(line_ + length_, text.data(), n);
    length_ += n;
    text.remove_prefix(n);
  }
  return *this;
}

LineBuilder& LineBuilder::Format(const char* format, ...) {
  char piece[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(piece, sizeof piece, format, args);
  va_end(args);
  if (n > 0)
    Add(std::string_view(piece, std::min<size_t>(static_cast<size_t>(n), sizeof piece - 1)));
  return *this;
}

void LineBuilder::Finish() {
  list_.AppendLine(std::string_view(line_, length_));
  length_ = 0;
}

}  // namespace tessaly
