#include "capture/receive_buffer_fill.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

MidiResult ReceiveBufferFill::Lend(ReceiveHeader* header) {
  MarkLent(*header);
  ReceiveHeader* expected = nullptr;
  // release: the header's fields are set before the input thread can take it (pairs with
  // the acquire in Current).
  if (!queued_.compare_exchange_strong(expected, header, std::memory_order_release,
                                       std::memory_order_relaxed)) {
    // Another buffer is lent; the caller's header goes back to how it was.
    header->flags.fetch_and(~kHeaderInQueue, std::memory_order_relaxed);
    return kStillPlaying;
  }
  return kNoError;
}

ReceiveHeader* ReceiveBufferFill::Current() {
  // acquire: pairs with the release in Lend; the header's fields are visible.
  ReceiveHeader* queued = queued_.load(std::memory_order_acquire);
  if (queued != filling_) {
    filling_ = queued;
    filled_ = 0;
  }
  return filling_;
}

bool ReceiveBufferFill::Writable() {
  const ReceiveHeader* header = Current();
  // relaxed, both: published with the header (see Current).
  return header != nullptr && header->data.load(std::memory_order_relaxed) != nullptr &&
         header->bufferLength.load(std::memory_order_relaxed) != 0;
}

bool ReceiveBufferFill::Full() const {
  return filled_ >= filling_->bufferLength.load(std::memory_order_relaxed);  // as in Writable
}

size_t ReceiveBufferFill::Fill(const uint8_t* bytes, size_t n) {
  // relaxed, both: as in Writable.
  uint8_t* data = filling_->data.load(std::memory_order_relaxed);
  const uint32_t length = filling_->bufferLength.load(std::memory_order_relaxed);
  const size_t take = std::min<size_t>(length - filled_, n);
  std::memcpy(data + filled_, bytes, take);
  filled_ += static_cast<uint32_t>(take);
  return take;
}

ReceiveHeader* ReceiveBufferFill::Return() {
  ReceiveHeader* header = filling_;
  MarkReturned(*header, filled_);
  filling_ = nullptr;
  filled_ = 0;
  // release: the count and flags are set before anyone who sees the buffer unqueued looks.
  queued_.store(nullptr, std::memory_order_release);
  return header;
}

}  // namespace tessaly
