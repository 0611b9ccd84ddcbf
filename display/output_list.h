#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// OutputList: the text lines of one list window, in the order appended. Lines are 8-bit text
// stored unchanged. Compact: the text lives in large chunks and each line costs one 8-byte
// index entry besides its text, so ten million lines need no per-line allocation.
//
// Window thread only.
namespace tessaly {

// Told of every line as it is appended (the console front end writes them out).
class LineObserver {
 public:
  virtual ~LineObserver() = default;
  virtual void LineAppended(const class OutputList& list, std::string_view line) = 0;
};

class OutputList {
 public:
  // Longest line kept as one line; a longer text continues on the next lines.
  static constexpr size_t kMaxLineLength = (size_t{1} << 20) - 1;

  explicit OutputList(std::string_view name = {}) : name_(name) {}
  OutputList(const OutputList&) = delete;
  OutputList& operator=(const OutputList&) = delete;

  // Adds `text` up to its first zero byte as the last line.
  void AppendLine(const char* text);
  // Adds the bytes of `text` up to its first zero byte (or all of them) as the last line.
  void AppendLine(std::string_view text);

  size_t Count() const { return count_; }
  // The text of line i (i < Count()); valid until the list is cleared.
  std::string_view Line(size_t i) const;
  size_t LineLength(size_t i) const { return Line(i).size(); }
  void Clear();

  // The line marked as newest (LB_SETANCHORINDEX); -1 when none.
  int64_t Anchor() const { return anchor_; }
  void SetAnchor(int64_t line) { anchor_ = line; }

  // Counts every Clear, so a view can tell "cleared and refilled" from "appended".
  uint64_t ClearCount() const { return clearCount_; }
  std::string_view Name() const { return name_; }
  void SetObserver(LineObserver* observer) { observer_ = observer; }

  // Bytes held: text chunks and index blocks.
  size_t MemoryBytes() const;

 private:
  // Index entry: chunk (20 bits), offset in chunk (24 bits), length (20 bits).
  static constexpr int kLengthBits = 20;
  static constexpr int kOffsetBits = 24;
  static constexpr size_t kMaxChunkSize = size_t{1} << kOffsetBits;  // 16 MiB
  static constexpr size_t kFirstChunkSize = size_t{1} << 16;         // 64 KiB
  static constexpr size_t kIndexBlockLines = size_t{1} << 16;

  struct Chunk {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    size_t used = 0;
  };

  void AppendPiece(const char* text, size_t length);
  char* Reserve(size_t length, uint64_t& chunk, uint64_t& offset);

  std::vector<Chunk> chunks_;
  std::vector<std::unique_ptr<uint64_t[]>> index_;
  size_t count_ = 0;
  int64_t anchor_ = -1;
  uint64_t clearCount_ = 0;
  std::string_view name_;
  LineObserver* observer_ = nullptr;
};

}  // namespace tessaly
