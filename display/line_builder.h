#pragma once

#include <cstddef>
#include <string_view>

#include "display/output_list.h"

// Builds list lines in a fixed buffer. A line that would grow past kMaxLine characters is
// appended as it stands and continues on the next line, so no input is lost to a line limit
// and nothing is written past the buffer. Formats are always literals of ours; device bytes
// only ever go through Add.
namespace tessaly {

class LineBuilder {
 public:
  static constexpr size_t kMaxLine = 1023;

  explicit LineBuilder(OutputList& list) : list_(list) {}

  // Adds bytes as they are (device text included; a zero byte ends the text).
  LineBuilder& Add(std::string_view text);
  LineBuilder& Add(char c) { return Add(std::string_view(&c, 1)); }
  // Adds printf-style text; `format` is one of our own literals.
  LineBuilder& Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Appends the line (an empty one too) and starts the next.
  void Finish();
  size_t Length() const { return length_; }
  std::string_view Text() const { return std::string_view(line_, length_); }
  void Discard() { length_ = 0; }

 private:
  OutputList& list_;
  size_t length_ = 0;
  char line_[kMaxLine + 1];
};

}  // namespace tessaly
