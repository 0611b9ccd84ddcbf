// Raw bytes from a MIDI system through the service's classification: MidiStreamParser alone,
// and the same messages through InputDelivery (its input thread, the 64-byte receive buffer
// handed back and queued again from inside the callback), as a misbehaving device would send
// them: malformed, truncated, over-long, realtime inside sysex, sysex over several messages.
//
// Input: delivered messages, each a length byte L and then L bytes (the last one cut to what
// is left), each copied to a block of its own.
//
// What must hold, besides the sanitizers' checks:
// - Parser, per delivered message: every sysex run lies inside that message's bytes, after the
//   run before, with no status byte inside but F0 at its start and F7 at its end (and `ends`
//   exactly when it ends in F7); every short message is a status byte of a known length with
//   that many data bytes. Counted by byte value, the short messages and sysex runs take no
//   byte the message did not hold, and the bytes left over are exactly the malformed ones: at
//   least one report when any are left, none when none are, never more reports than bytes,
//   and each report's first byte is one of them.
// - Delivery: the callback sees the same short messages, the same malformed reports and the
//   same sysex bytes in the same order as the parser gave them, in buffers of at most 64
//   bytes; one MIM_LONGERROR per interrupted sysex message; no sysex byte dropped (a buffer
//   is always queued); the buffer comes back exactly once at the last reset.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "capture/input_delivery.h"
#include "capture/midi_constants.h"
#include "capture/midi_stream_parser.h"

namespace {

using tessaly::InputDelivery;
using tessaly::MidiStreamParser;
using tessaly::MidiStreamSink;
using tessaly::ReceiveHeader;

constexpr uint32_t kBufferLength = 64;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

struct Found {
  std::vector<uint32_t> shorts;
  std::vector<uint32_t> malformed;
  std::vector<uint8_t> sysex;
  size_t interrupted = 0;
};

// Records what the parser reports for one delivered message and checks it against its bytes.
class CheckingSink : public MidiStreamSink {
 public:
  explicit CheckingSink(Found& found) : found_(found) {}

  void Begin(const uint8_t* bytes, size_t n) {
    begin_ = bytes;
    end_ = bytes + n;
    next_ = bytes;
    malformedReports_ = 0;
    for (size_t& c : left_) c = 0;
    for (size_t i = 0; i < n; ++i) ++left_[bytes[i]];
    firstBytes_.clear();
  }

  void Finish() {
    size_t leftOver = 0;
    for (size_t c : left_) leftOver += c;
    Check((leftOver == 0) == (malformedReports_ == 0),
          "malformed reported exactly when bytes left");
    Check(malformedReports_ <= leftOver, "no more malformed reports than malformed bytes");
    for (uint8_t first : firstBytes_) Check(left_[first] > 0, "malformed report of a left byte");
  }

  void ShortMessage(uint32_t message) override {
    const uint8_t status = message & 0xFF;
    const int length = tessaly::ShortMessageDataLength(status);
    Check(length >= 0, "short message of a known length");
    Check((message >> (8 * (length + 1))) == 0, "no bytes past the message");
    for (int i = 0; i <= length; ++i) {
      const uint8_t byte = (message >> (8 * i)) & 0xFF;
      Check(i == 0 ? byte >= 0x80 : byte < 0x80, "status then data bytes");
      Take(byte);
    }
    found_.shorts.push_back(message);
  }

  void Malformed(uint32_t message) override {
    ++malformedReports_;
    firstBytes_.push_back(message & 0xFF);
    found_.malformed.push_back(message);
  }

  void SysexBytes(const uint8_t* bytes, size_t n, bool ends) override {
    Check(n > 0, "no empty sysex run");
    Check(bytes >= next_ && bytes + n <= end_ && bytes + n >= bytes,
          "sysex run inside the message, after the run before");
    next_ = bytes + n;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t byte = bytes[i];
      const bool statusOk =
          (byte == tessaly::kSysexStart && i == 0) || (byte == tessaly::kSysexEnd && i + 1 == n);
      Check(byte < 0x80 || statusOk, "no status byte inside a sysex run");
      Take(byte);
      found_.sysex.push_back(byte);
    }
    Check(ends == (bytes[n - 1] == tessaly::kSysexEnd), "ends exactly at F7");
  }

  void SysexInterrupted() override { ++found_.interrupted; }

 private:
  void Take(uint8_t byte) {
    Check(left_[byte] > 0, "no byte taken that the message did not hold");
    --left_[byte];
  }

  Found& found_;
  const uint8_t* begin_ = nullptr;
  const uint8_t* end_ = nullptr;
  const uint8_t* next_ = nullptr;
  size_t left_[256] = {};
  size_t malformedReports_ = 0;
  std::vector<uint8_t> firstBytes_;
};

// What the callback saw; written on the input thread only, read after it has ended.
struct Delivered {
  Found found;
  ReceiveHeader header;
  uint8_t buffer[kBufferLength] = {};
  InputDelivery* delivery = nullptr;
  std::atomic<bool> ending{false};
  size_t returnedAfterEnd = 0;
};

void Callback(tessaly::MidiInHandle, uint32_t kind, uintptr_t instance, uintptr_t param1,
              uintptr_t) {
  Delivered& d = *reinterpret_cast<Delivered*>(instance);
  switch (kind) {
    case tessaly::MIM_DATA:
      d.found.shorts.push_back(static_cast<uint32_t>(param1));
      break;
    case tessaly::MIM_ERROR:
      d.found.malformed.push_back(static_cast<uint32_t>(param1));
      break;
    case tessaly::MIM_LONGDATA:
    case tessaly::MIM_LONGERROR: {
      Check(param1 == reinterpret_cast<uintptr_t>(&d.header), "our header comes back");
      const uint32_t n = d.header.bytesRecorded.load(std::memory_order_relaxed);
      Check(n <= kBufferLength, "a chunk fits the 64-byte buffer");
      d.found.sysex.insert(d.found.sysex.end(), d.buffer, d.buffer + n);
      if (kind == tessaly::MIM_LONGERROR) ++d.found.interrupted;
      // acquire: the window thread set it before the reset whose return this may be.
      if (d.ending.load(std::memory_order_acquire)) {
        ++d.returnedAfterEnd;
      } else {
        Check(d.delivery->AddBuffer(&d.header) == tessaly::kNoError, "buffer queued again");
      }
      break;
    }
    default:
      Fail("unexpected callback kind");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each message in a heap block of its own size, so that AddressSanitizer catches a read
  // past its end even where the fuzzer's input goes on.
  std::vector<std::unique_ptr<uint8_t[]>> blocks;
  std::vector<std::pair<const uint8_t*, size_t>> messages;
  for (size_t at = 0; at < size;) {
    size_t n = data[at++];
    if (n > size - at) n = size - at;
    blocks.push_back(std::make_unique<uint8_t[]>(n));
    std::copy(data + at, data + at + n, blocks.back().get());
    messages.emplace_back(blocks.back().get(), n);
    at += n;
  }

  Found parsed;
  CheckingSink sink(parsed);
  MidiStreamParser parser;
  for (const auto& [bytes, n] : messages) {
    if (n == 0) continue;  // the service never feeds an empty message
    sink.Begin(bytes, n);
    parser.Feed(bytes, n, sink);
    sink.Finish();
  }

  Delivered delivered;
  InputDelivery delivery(1, &Callback, reinterpret_cast<uintptr_t>(&delivered));
  delivered.delivery = &delivery;
  delivered.header.data.store(delivered.buffer, std::memory_order_relaxed);
  delivered.header.bufferLength.store(kBufferLength, std::memory_order_relaxed);
  delivered.header.flags.store(tessaly::kHeaderPrepared, std::memory_order_relaxed);
  Check(delivery.Launch(), "input thread started");
  delivery.StartInput();
  Check(delivery.AddBuffer(&delivered.header) == tessaly::kNoError, "buffer queued");
  for (const auto& [bytes, n] : messages) delivery.Receive(bytes, n);
  // The first reset delivers everything received, its buffer return included, and the
  // callback queues the buffer again as it always does; the second finds nothing more to
  // deliver and only returns the buffer, which then stays with us.
  delivery.Reset();
  // release: the callback of the second reset's buffer return sees it (pairs with its
  // acquire).
  delivered.ending.store(true, std::memory_order_release);
  delivery.Reset();
  delivery.Shutdown();

  Check(delivery.MessagesDropped() == 0, "no message dropped by the raw queue");
  Check(delivery.SysexBytesDropped() == 0, "no sysex byte dropped with a buffer queued");
  Check(delivered.returnedAfterEnd == 1, "the reset returns the buffer once");
  Check(delivered.found.shorts == parsed.shorts, "same short messages delivered");
  Check(delivered.found.malformed == parsed.malformed, "same malformed reports delivered");
  Check(delivered.found.sysex == parsed.sysex, "same sysex bytes delivered");
  Check(delivered.found.interrupted == parsed.interrupted, "one MIM_LONGERROR per interruption");
  return 0;
}
