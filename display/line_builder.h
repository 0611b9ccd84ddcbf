#pragma once

#include <cstddef>
#include <string_view>

#include "display/output_list.h"

// Builds list lines in a fixed buffer. A line that would grow past kMaxBuiltLine characters is
// appended as it stands and continues on the next line, so no input is lost to a line limit
// and nothing is written past the buffer. Formats are always literals of ours; device bytes
// only ever go through Add.
namespace tessaly {

// The longest line the drains build: here and in the sysex text stream (TextStreamLine) a
// longer text goes on in the next line. The store's own bound, OutputList::kMaxEntryBytes, is
// far larger and only ever met by a long text appended directly.
inline constexpr size_t kMaxBuiltLine = 1023;

class LineBuilder {
 public:
  explicit LineBuilder(OutputList& list) : list_(list) {}

  // Adds bytes as they are (device text included; a zero byte ends the text).
  LineBuilder& Add(std::string_view text);
  LineBuilder& Add(char c) { return Add(std::string_view(&c, 1)); }
  // Adds text we wrote ourselves, which holds no zero byte (the dumps' hex fields): the same,
  // without looking for one.
  LineBuilder& AddWritten(std::string_view text);
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
  char line_[kMaxBuiltLine + 1];
};

}  // namespace tessaly
