#include "display/output_list.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

void OutputList::AppendLine(const char* text) {
  AppendLine(std::string_view(text == nullptr ? "" : text));
}

void OutputList::AppendLine(std::string_view text) {
  const size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  // A text longer than one line continues on the next lines: nothing is dropped.
  do {
    const size_t piece = std::min(text.size(), kMaxLineLength);
    AppendPiece(text.data(), piece);
    text.remove_prefix(piece);
  } while (!text.empty());
}

char* OutputList::Reserve(size_t length, uint64_t& chunk, uint64_t& offset) {
  if (chunks_.empty() || chunks_.back().size - chunks_.back().used < length) {
    // Chunks double up to 16 MiB, so a short list stays small and a long one allocates rarely.
    size_t size =
        chunks_.empty() ? kFirstChunkSize : std::min(chunks_.back().size * 2, kMaxChunkSize);
    size = std::max(size, length);
    chunks_.push_back(Chunk{std::make_unique_for_overwrite<char[]>(size), size, 0});
  }
  Chunk& last = chunks_.back();
  chunk = chunks_.size() - 1;
  offset = last.used;
  last.used += length;
  return last.bytes.get() + offset;
}

void OutputList::AppendPiece(const char* text, size_t length) {
  uint64_t chunk = 0;
  uint64_t offset = 0;
  char* at = Reserve(length, chunk, offset);
  if (length > 0) std::memcpy(at, text, length);
  if (count_ % kIndexBlockLines == 0 && count_ / kIndexBlockLines == index_.size()) {
    index_.push_back(std::make_unique_for_overwrite<uint64_t[]>(kIndexBlockLines));
  }
  index_[count_ / kIndexBlockLines][count_ % kIndexBlockLines] =
      (chunk << (kOffsetBits + kLengthBits)) | (offset << kLengthBits) | length;
  ++count_;
  if (observer_ != nullptr) observer_->LineAppended(*this, std::string_view(at, length));
}

std::string_view OutputList::Line(size_t i) const {
  if (i >= count_) return {};
  const uint64_t entry = index_[i / kIndexBlockLines][i % kIndexBlockLines];
  const size_t length = entry & ((uint64_t{1} << kLengthBits) - 1);
  const size_t offset = (entry >> kLengthBits) & ((uint64_t{1} << kOffsetBits) - 1);
  const size_t chunk = entry >> (kOffsetBits + kLengthBits);
  return std::string_view(chunks_[chunk].bytes.get() + offset, length);
}

void OutputList::Clear() {
  chunks_.clear();
  index_.clear();
  count_ = 0;
  ++clearCount_;
}

size_t OutputList::MemoryBytes() const {
  size_t bytes = index_.size() * kIndexBlockLines * sizeof(uint64_t);
  for (const Chunk& c : chunks_) bytes += c.size;
  return bytes;
}

}  // namespace tessaly
