#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

// RawMessageQueue: the messages a MIDI system delivers, copied out of its thread (the ALSA reader's
// input thread, the JACK process thread, or the demo device) to the service's input thread.
// Single producer, single consumer, fixed capacity, never blocks: a message that does not fit
// is dropped and counted. Each record is a 4-byte length, a 4-byte time stamp and the bytes,
// stored modulo the capacity (the length's top byte is a tag, 0 but where a producer of its own
// sets one: the recorder's kind of record); indices count bytes up without bound (64 bits). A
// message longer than kMaxMessage (a long sysex) is stored as consecutive records of at most
// kMaxMessage bytes each, all or none: the stream parser carries an open sysex from one record to
// the next, so the pieces reach the receive buffers in order as one message.
namespace tessaly {

class RawMessageQueue {
 public:
  static constexpr size_t kCapacity = size_t{1} << 20;
  static constexpr size_t kHeaderSize = 8;
  // Longest record; a longer message is split into records of this size.
  static constexpr size_t kMaxMessage = kCapacity / 4;
  // The length's bits in a record's first word; the top byte is the tag.
  static constexpr uint32_t kLengthMask = 0x00FFFFFF;
  static_assert(kMaxMessage <= kLengthMask);

  RawMessageQueue() : bytes_(new uint8_t[kCapacity]) {}
  RawMessageQueue(const RawMessageQueue&) = delete;
  RawMessageQueue& operator=(const RawMessageQueue&) = delete;

  // Producer. False (and counted once) when the message does not fit now, in all its pieces.
  bool Push(uint32_t timeStamp, const uint8_t* data, size_t n) {
    const uint64_t head = head_.load(std::memory_order_relaxed);  // our own index
    // acquire: pairs with the release in Pop; the consumer is done with the bytes below tail.
    const uint64_t tail = tail_.load(std::memory_order_acquire);
    const size_t pieces = n == 0 ? 1 : (n + kMaxMessage - 1) / kMaxMessage;
    // A message longer than the whole queue cannot fit; pieces * header does not overflow then.
    if (n > kCapacity || pieces * kHeaderSize + n > kCapacity - (head - tail)) {
      dropped_.fetch_add(1, std::memory_order_relaxed);  // a count only
      return false;
    }
    uint64_t at = head;
    size_t done = 0;
    do {
      const size_t piece = n - done < kMaxMessage ? n - done : kMaxMessage;
      PutHeader(at, static_cast<uint32_t>(piece), timeStamp);
      CopyIn(at + kHeaderSize, data + done, piece);
      at += kHeaderSize + piece;
      done += piece;
    } while (done < n);
    // release: the records are stored before the index passes them; pairs with the acquire in
    // Pop. One store for all pieces, so the consumer never sees part of a message.
    head_.store(at, std::memory_order_release);
    return true;
  }

  // Producer: one record whose bytes come in two parts, `prefix` then `data` (a header of the
  // caller's own and a message), at most kMaxMessage bytes in all: the caller need not copy them
  // together first. `tag`: what PopEach hands back with it. False (and counted) when it does not
  // fit now.
  bool PushJoined(uint32_t timeStamp, const uint8_t* prefix, size_t prefixN, const uint8_t* data,
                  size_t n, uint8_t tag = 0) {
    const size_t length = prefixN + n;
    if (length > kMaxMessage) {
      dropped_.fetch_add(1, std::memory_order_relaxed);  // a count only
      return false;
    }
    const uint64_t head = head_.load(std::memory_order_relaxed);  // our own index
    // acquire: pairs with the release in Pop; the consumer is done with the bytes below tail.
    const uint64_t tail = tail_.load(std::memory_order_acquire);
    if (kHeaderSize + length > kCapacity - (head - tail)) {
      dropped_.fetch_add(1, std::memory_order_relaxed);  // a count only
      return false;
    }
    PutHeader(head, static_cast<uint32_t>(length) | uint32_t{tag} << 24, timeStamp);
    CopyIn(head + kHeaderSize, prefix, prefixN);
    CopyIn(head + kHeaderSize + prefixN, data, n);
    // release: the record is stored before the index passes it; pairs with the acquire in Pop.
    head_.store(head + kHeaderSize + length, std::memory_order_release);
    return true;
  }

  // Consumer. Copies the oldest message into `out` (at least kMaxMessage bytes); false when
  // the queue is empty.
  bool Pop(uint32_t& timeStamp, uint8_t* out, size_t& n) {
    const uint64_t tail = tail_.load(std::memory_order_relaxed);  // our own index
    // acquire: pairs with the release in Push; the record below head is complete.
    if (head_.load(std::memory_order_acquire) == tail) return false;
    uint32_t header[2];
    CopyOut(tail, header, kHeaderSize);
    n = header[0] & kLengthMask;
    timeStamp = header[1];
    CopyOut(tail + kHeaderSize, out, n);
    // release: we have read the record before the producer may overwrite it.
    tail_.store(tail + kHeaderSize + n, std::memory_order_release);
    return true;
  }

  // Consumer: hands the messages queued now, oldest first, to `take(tag, timeStamp, bytes, n)`
  // until `most` bytes of records are taken (at least one message), then frees them all at once:
  // one release for many messages, and no copy. `bytes` lies in the queue itself, or in `scratch`
  // (at least kMaxMessage bytes) for a record that wraps around the end; it is valid during the
  // call only. Returns the messages taken.
  template <typename Take>
  size_t PopEach(uint8_t* scratch, uint64_t most, Take&& take) {
    const uint64_t start = tail_.load(std::memory_order_relaxed);  // our own index
    // acquire: pairs with the release in Push; the records below head are complete.
    const uint64_t head = head_.load(std::memory_order_acquire);
    uint64_t at = start;
    size_t count = 0;
    while (at != head && at - start < most) {
      uint32_t header[2];
      CopyOut(at, header, kHeaderSize);
      const size_t n = header[0] & kLengthMask;
      const size_t slot = static_cast<size_t>((at + kHeaderSize) & (kCapacity - 1));
      const uint8_t* bytes = bytes_.get() + slot;
      if (n > kCapacity - slot) {
        CopyOut(at + kHeaderSize, scratch, n);
        bytes = scratch;
      }
      take(static_cast<uint8_t>(header[0] >> 24), header[1], bytes, n);
      at += kHeaderSize + n;
      ++count;
    }
    // release: every record taken is read before the producer may overwrite it.
    if (at != start) tail_.store(at, std::memory_order_release);
    return count;
  }

  bool Empty() const {
    // acquire: a consumer that sees the queue non-empty also sees the record.
    return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_relaxed);
  }
  // Consumer: bytes held now (records and their headers).
  uint64_t Used() const {
    // acquire: pairs with the release in Push (a count here; the consumer's own index is
    // exact).
    return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
  }
  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  // The record's length and stamp, built in a register and stored at once: two narrow stores
  // read back as one wide load would stall the store buffer on every message.
  void PutHeader(uint64_t at, uint32_t lengthAndTag, uint32_t timeStamp) {
    const uint64_t low = lengthAndTag;  // the first four bytes in memory
    const uint64_t word = std::endian::native == std::endian::little
                              ? low | uint64_t{timeStamp} << 32
                              : low << 32 | timeStamp;
    CopyIn(at, &word, kHeaderSize);
  }
  void CopyIn(uint64_t at, const void* from, size_t n) {
    if (n == 0) return;
    const size_t slot = static_cast<size_t>(at & (kCapacity - 1));
    if (n <= kCapacity - slot) {  // nearly always: one copy, no wrap
      std::memcpy(bytes_.get() + slot, from, n);
      return;
    }
    const size_t first = n < kCapacity - slot ? n : kCapacity - slot;
    std::memcpy(bytes_.get() + slot, from, first);
    std::memcpy(bytes_.get(), static_cast<const uint8_t*>(from) + first, n - first);
  }
  void CopyOut(uint64_t at, void* to, size_t n) const {
    if (n == 0) return;
    const size_t slot = static_cast<size_t>(at & (kCapacity - 1));
    if (n <= kCapacity - slot) {
      std::memcpy(to, bytes_.get() + slot, n);
      return;
    }
    const size_t first = n < kCapacity - slot ? n : kCapacity - slot;
    std::memcpy(to, bytes_.get() + slot, first);
    std::memcpy(static_cast<uint8_t*>(to) + first, bytes_.get(), n - first);
  }

  alignas(64) std::atomic<uint64_t> head_{0};  // written by the producer only
  alignas(64) std::atomic<uint64_t> tail_{0};  // written by the consumer only
  alignas(64) std::atomic<uint64_t> dropped_{0};
  std::unique_ptr<uint8_t[]> bytes_;
};

}  // namespace tessaly
