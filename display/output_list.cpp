#include "display/output_list.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessaly {

OutputList::Chunk::Chunk(size_t chunkSize, size_t first) : size(chunkSize), firstLine(first) {
  if (chunkSize >= kMappedChunkSize) {
    void* at = mmap(nullptr, chunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at != MAP_FAILED) {
      // Advice only: without huge pages the chunk works the same, its first touch costs more.
      madvise(at, chunkSize, MADV_HUGEPAGE);
      bytes = static_cast<char*>(at);
      mapped_ = true;
      return;
    }
  }
  bytes = new char[chunkSize];
}

OutputList::Chunk::~Chunk() {
  if (mapped_) {
    munmap(bytes, size);
  } else {
    delete[] bytes;
  }
}

OutputList::Chunk::Chunk(Chunk&& other) noexcept
    : bytes(std::exchange(other.bytes, nullptr)),
      size(other.size),
      used(other.used),
      firstLine(other.firstLine),
      mapped_(std::exchange(other.mapped_, false)) {}

void OutputList::AppendLine(const char* text) {
  AppendLine(std::string_view(text == nullptr ? "" : text));
}

void OutputList::AppendLine(std::string_view text) {
  const size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  // A text longer than one line continues on the next lines: nothing is dropped.
  do {
    const size_t piece = std::min(text.size(), kMaxEntryBytes);
    AppendPiece(text.data(), piece);
    text.remove_prefix(piece);
  } while (!text.empty());
}

OutputList::Chunk& OutputList::Reserve(size_t length) {
  if (!chunks_.empty() && chunks_.back().size - chunks_.back().used >= length) {
    return chunks_.back();
  }
  // Chunks double up to 16 MiB, so a short list stays small and a long one allocates rarely.
  size_t size =
      chunks_.empty() ? kFirstChunkSize : std::min(chunks_.back().size * 2, kMaxChunkSize);
  size = std::max(size, length);
  // A chunk kept empty by Clear that is too small for this line gives way, so that every chunk
  // holds at least one line and ChunkOf finds one chunk per line.
  if (!chunks_.empty() && chunks_.back().firstLine == count_) chunks_.pop_back();
  chunks_.emplace_back(size, count_);
  return chunks_.back();
}

void OutputList::AppendPiece(const char* text, size_t length) {
  if (!keepLines_) {
    ++count_;
    if (observer_ != nullptr) observer_->LineAppended(*this, std::string_view(text, length));
    return;
  }
  Chunk& chunk = Reserve(length);
  char* at = chunk.bytes + chunk.used;
  if (length > 0) std::memcpy(at, text, length);
  chunk.used += length;
  if (count_ / kIndexBlockLines == index_.size()) {
    index_.push_back(std::make_unique_for_overwrite<uint32_t[]>(kIndexBlockLines));
    blockChunk_.push_back(static_cast<uint32_t>(chunks_.size() - 1));
  }
  // A chunk is at most 16 MiB (a line at most 1 MiB), so the offset fits.
  Entry(count_) = static_cast<uint32_t>(chunk.used);
  ++count_;
  if (observer_ != nullptr) observer_->LineAppended(*this, std::string_view(at, length));
}

const OutputList::Chunk& OutputList::ChunkOf(size_t i) const {
  // Start from the chunk that holds the first line of i's index block; a block of event lines
  // spans one or two chunks.
  size_t c = blockChunk_[i / kIndexBlockLines];
  while (c + 1 < chunks_.size() && chunks_[c + 1].firstLine <= i) ++c;
  return chunks_[c];
}

std::string_view OutputList::Line(size_t i) const {
  if (i >= count_ || !keepLines_) return {};
  const Chunk& chunk = ChunkOf(i);
  const uint32_t end = Entry(i);
  const uint32_t begin = i == chunk.firstLine ? 0 : Entry(i - 1);
  return std::string_view(chunk.bytes + begin, end - begin);
}

void OutputList::Clear() {
  // The first chunk and index block stay for the next lines: the statistics table is cleared
  // and redrawn at every drain that counted something.
  while (chunks_.size() > 1) chunks_.pop_back();
  if (!chunks_.empty()) chunks_.front().used = 0;
  index_.resize(std::min<size_t>(index_.size(), 1));
  blockChunk_.resize(index_.size());
  count_ = 0;
  ++clearCount_;
}

size_t OutputList::MemoryBytes() const {
  size_t bytes = index_.size() * kIndexBlockLines * sizeof(uint32_t) +
                 index_.capacity() * sizeof(index_[0]) + chunks_.capacity() * sizeof(Chunk);
  for (const Chunk& c : chunks_) bytes += c.size;
  return bytes;
}

}  // namespace tessaly
