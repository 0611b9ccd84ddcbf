#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// OutputList: the text lines of one list window, in the order appended. Lines are 8-bit text
// stored unchanged. Window thread only.
//
// Layout (about 4.15 bytes per line beside the text, no allocation per line):
// - Text lives in chunks, back to back in line order: the first 64 KiB, each next one twice its
//   predecessor up to 16 MiB (at least the line's size); from 2 MiB on a chunk is mapped on its
//   own, so clearing a long list gives its memory back at once.
// - Each line has one 4-byte index entry: its end offset in its chunk. It begins where the line
//   before it ends, or at 0 when it is its chunk's first line (Chunk::firstLine).
// - Index entries come in blocks of 65 536; blockChunk_ names the chunk of each block's first
//   line, so finding a line's chunk steps over at most a few chunks.
// Invariants: every chunk holds at least one line, except that the first may be empty (Clear
// keeps it for the next lines; Reserve drops it when a line does not fit it); a line never
// spans two chunks; an entry's offset fits 32 bits since a chunk is at most 16 MiB and an entry
// at most kMaxEntryBytes.
namespace tessaly {

// Told of every line as it is appended (the console front end writes them out).
class LineObserver {
 public:
  virtual ~LineObserver() = default;
  virtual void LineAppended(const class OutputList& list, std::string_view line) = 0;
};

class OutputList {
 public:
  // The most one entry holds (its offset must fit a chunk); a longer text continues in the next
  // entries. The drains' lines are far shorter (kMaxBuiltLine, display/line_builder.h).
  static constexpr size_t kMaxEntryBytes = (size_t{1} << 20) - 1;

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
  // False: lines are counted and told to the observer, and not kept (Line gives empty text):
  // for a console run that reads none back, so that its memory does not grow with its input.
  // Before the first line.
  void SetKeepLines(bool keep) { keepLines_ = keep; }

  // Bytes held: text chunks, index blocks and their tables.
  size_t MemoryBytes() const;

 private:
  static constexpr size_t kMaxChunkSize = size_t{1} << 24;     // 16 MiB
  static constexpr size_t kMappedChunkSize = size_t{1} << 21;  // 2 MiB, one huge page
  static constexpr size_t kFirstChunkSize = size_t{1} << 16;   // 64 KiB
  static constexpr size_t kIndexBlockLines = size_t{1} << 16;

  // A run of text bytes: small ones from the heap, from 2 MiB on mapped on their own (with huge
  // pages where the kernel offers them, which makes first touch far cheaper), so that clearing
  // a long list gives its memory back at once.
  class Chunk {
   public:
    Chunk(size_t size, size_t firstLine);
    ~Chunk();
    Chunk(Chunk&& other) noexcept;
    Chunk& operator=(Chunk&&) = delete;
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;

    char* bytes = nullptr;
    size_t size = 0;
    size_t used = 0;
    // Index of the first line stored in this chunk.
    size_t firstLine = 0;

   private:
    bool mapped_ = false;
  };

  void AppendPiece(const char* text, size_t length);
  // Room for `length` more bytes at the end of the last chunk.
  Chunk& Reserve(size_t length);
  uint32_t& Entry(size_t i) { return index_[i / kIndexBlockLines][i % kIndexBlockLines]; }
  uint32_t Entry(size_t i) const { return index_[i / kIndexBlockLines][i % kIndexBlockLines]; }
  const Chunk& ChunkOf(size_t i) const;

  // In the order of their lines; every chunk but a kept empty first one holds a line.
  std::vector<Chunk> chunks_;
  // Entry i: the offset in its chunk just past line i.
  std::vector<std::unique_ptr<uint32_t[]>> index_;
  // For each index block, the chunk that holds its first line.
  std::vector<uint32_t> blockChunk_;
  size_t count_ = 0;
  int64_t anchor_ = -1;
  uint64_t clearCount_ = 0;
  std::string_view name_;
  LineObserver* observer_ = nullptr;
  bool keepLines_ = true;
};

}  // namespace tessaly
