#include "capture/input_delivery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "capture/midi_constants.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

// Plays the input callback: records every call and, like the real callback, queues the
// returned buffer again from inside the call unless told not to. The record is a fixed array
// and an atomic count, so the test reads it while the input thread may still be adding.
struct Recorder {
  struct Call {
    uint32_t kind;
    uintptr_t param1;
    uint32_t timeStamp;
    Bytes bytes;  // a returned buffer's recorded bytes
  };
  static constexpr size_t kMaxCalls = 30000;

  static void Callback(MidiInHandle, uint32_t kind, uintptr_t instance, uintptr_t param1,
                       uintptr_t param2) {
    Recorder& self = *reinterpret_cast<Recorder*>(instance);
    const size_t at = self.count.load(std::memory_order_relaxed);  // only this thread adds
    ASSERT_LT(at, kMaxCalls);
    Call& call = self.calls[at];
    call = {kind, param1, static_cast<uint32_t>(param2), {}};
    if (kind == MIM_LONGDATA || kind == MIM_LONGERROR) {
      auto* header = reinterpret_cast<ReceiveHeader*>(param1);
      const uint8_t* data = header->data.load();
      call.bytes.assign(data, data + header->bytesRecorded.load());
      if (self.requeue.load()) self.delivery->AddBuffer(header);
    }
    self.count.store(at + 1, std::memory_order_release);  // release: the call is recorded
  }

  size_t Count() const { return count.load(std::memory_order_acquire); }
  // Waits (at most 5 s) until `n` calls are recorded; true when they are.
  bool WaitFor(size_t n) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Count() < n) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  // Chunk sizes of the returned buffers among calls [from, Count()).
  std::vector<size_t> ChunkSizes(size_t from) const {
    std::vector<size_t> sizes;
    for (size_t i = from; i < Count(); ++i) {
      if (calls[i].kind == MIM_LONGDATA) sizes.push_back(calls[i].bytes.size());
    }
    return sizes;
  }
  Bytes SysexBytes(size_t from) const {
    Bytes bytes;
    for (size_t i = from; i < Count(); ++i) {
      bytes.insert(bytes.end(), calls[i].bytes.begin(), calls[i].bytes.end());
    }
    return bytes;
  }

  InputDelivery* delivery = nullptr;
  std::atomic<bool> requeue{true};
  std::vector<Call> calls = std::vector<Call>(kMaxCalls);
  std::atomic<size_t> count{0};
};

Bytes SysexOfLength(size_t length) {
  Bytes message(length, 0x00);
  for (size_t i = 0; i < length; ++i) message[i] = static_cast<uint8_t>(i % 0x80);
  message.front() = kSysexStart;
  message.back() = kSysexEnd;
  return message;
}

class InputDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder.delivery = &delivery;
    ASSERT_TRUE(delivery.Launch());
    buffer.resize(64);
    header.data.store(buffer.data());
    header.bufferLength.store(64);
    header.flags.store(kHeaderPrepared);
  }

  void Send(const Bytes& bytes) { delivery.Receive(bytes.data(), bytes.size()); }
  const Recorder::Call& CallAt(size_t i) const { return recorder.calls[i]; }

  Recorder recorder;
  InputDelivery delivery{7, &Recorder::Callback, reinterpret_cast<uintptr_t>(&recorder)};
  Bytes buffer;
  ReceiveHeader header;
};

TEST_F(InputDeliveryTest, SysexComesBackInBufferSizedChunks) {
  struct Case {
    size_t length;
    std::vector<size_t> chunks;
  };
  std::vector<size_t> chunks5000(78, 64);
  chunks5000.push_back(8);
  // Longer than one record of the raw queue: carried in pieces, still one message.
  std::vector<size_t> chunks300000(4687, 64);
  chunks300000.push_back(32);
  const Case cases[] = {
      {1, {1}},      {2, {2}},        {63, {63}},         {64, {64}},
      {65, {64, 1}}, {128, {64, 64}}, {5000, chunks5000}, {300000, chunks300000},
  };
  delivery.StartInput();
  ASSERT_EQ(delivery.AddBuffer(&header), kNoError);
  for (const Case& c : cases) {
    const size_t from = recorder.Count();
    const Bytes message = c.length == 1 ? Bytes{kSysexEnd} : SysexOfLength(c.length);
    Send(message);
    ASSERT_TRUE(recorder.WaitFor(from + c.chunks.size())) << c.length;
    EXPECT_EQ(recorder.ChunkSizes(from), c.chunks) << c.length;
    EXPECT_EQ(recorder.SysexBytes(from), message) << c.length;
    EXPECT_EQ(CallAt(from).param1, reinterpret_cast<uintptr_t>(&header));
  }
  // Queued again after every chunk; the reset returns it empty.
  const size_t before = recorder.Count();
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), before + 1);
  EXPECT_EQ(CallAt(before).kind, MIM_LONGDATA);
  EXPECT_TRUE(CallAt(before).bytes.empty());
}

TEST_F(InputDeliveryTest, CallsComeInArrivalOrder) {
  delivery.StartInput();
  ASSERT_EQ(delivery.AddBuffer(&header), kNoError);
  Send({0x90, 0x3C, 0x64});
  Send({0xF0, 0x09, 0x11, 0x41, 0xF7});
  Send({0x3C, 0x40});
  Send({0xF8});
  Send({0xF0, 0x09, 0x11, 0x42, 0x80, 0x3C, 0x00});  // cut off by a note-off
  ASSERT_TRUE(recorder.WaitFor(6));
  EXPECT_EQ(CallAt(0).kind, MIM_DATA);
  EXPECT_EQ(CallAt(0).param1, 0x643C90u);
  EXPECT_EQ(CallAt(1).kind, MIM_LONGDATA);
  EXPECT_EQ(CallAt(1).bytes, (Bytes{0xF0, 0x09, 0x11, 0x41, 0xF7}));
  EXPECT_EQ(CallAt(2).kind, MIM_ERROR);
  EXPECT_EQ(CallAt(2).param1, 0x00403Cu);
  EXPECT_EQ(CallAt(3).kind, MIM_DATA);
  EXPECT_EQ(CallAt(3).param1, 0xF8u);
  EXPECT_EQ(CallAt(4).kind, MIM_LONGERROR);
  EXPECT_EQ(CallAt(4).bytes, (Bytes{0xF0, 0x09, 0x11, 0x42}));
  EXPECT_EQ(CallAt(5).kind, MIM_DATA);
  EXPECT_EQ(CallAt(5).param1, 0x003C80u);
}

// A sender that went away leaves its sysex cut short: what comes next, from anyone, is never
// glued to it.
TEST_F(InputDeliveryTest, ASenderThatWentAwayEndsItsOpenSysex) {
  delivery.StartInput();
  ASSERT_EQ(delivery.AddBuffer(&header), kNoError);
  delivery.CloseSysex();  // none open: nothing happens
  Send({0xF0, 0x09, 0x11, 0x41});
  delivery.CloseSysex();
  delivery.CloseSysex();  // closed already
  Send({0x42, 0x43, 0xF7});
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), 4u);
  EXPECT_EQ(CallAt(0).kind, MIM_LONGERROR);
  EXPECT_EQ(CallAt(0).bytes, (Bytes{0xF0, 0x09, 0x11, 0x41}));
  EXPECT_EQ(CallAt(1).kind, MIM_ERROR);
  EXPECT_EQ(CallAt(1).param1, 0x4342u);
  EXPECT_EQ(CallAt(2).kind, MIM_LONGDATA);
  EXPECT_EQ(CallAt(2).bytes, Bytes{0xF7});
  EXPECT_EQ(CallAt(3).kind, MIM_LONGDATA);  // the reset's
  EXPECT_TRUE(CallAt(3).bytes.empty());
}

// A source that hands over a batch wakes the input thread once; nothing held back is lost,
// whether the batch ends with Deliver or the port is reset first.
TEST_F(InputDeliveryTest, ABatchComesWithDeliverOrAReset) {
  delivery.StartInput();
  const uint8_t notes[][3] = {{0x90, 0x3C, 0x64}, {0x90, 0x3D, 0x64}, {0x90, 0x3E, 0x64}};
  for (const auto& note : notes) delivery.ReceiveAtLater(note, 3, InputDelivery::NowNs());
  delivery.Deliver();
  ASSERT_TRUE(recorder.WaitFor(3));
  delivery.ReceiveAtLater(notes[0], 3, InputDelivery::NowNs());
  Send({0x80, 0x3C, 0x00});  // woken for this one: the held one goes first
  delivery.ReceiveAtLater(notes[1], 3, InputDelivery::NowNs());
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), 6u);
  const uint32_t expected[] = {0x643C90, 0x643D90, 0x643E90, 0x643C90, 0x003C80, 0x643D90};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(CallAt(i).kind, MIM_DATA) << i;
    EXPECT_EQ(CallAt(i).param1, expected[i]) << i;
  }
}

TEST_F(InputDeliveryTest, NothingIsDeliveredUnlessStarted) {
  Send({0x90, 0x3C, 0x64});
  delivery.StartInput();
  Send({0x90, 0x3D, 0x64});
  delivery.StopInput();
  Send({0x90, 0x3E, 0x64});
  delivery.Reset();  // every message received before has been delivered now
  ASSERT_EQ(recorder.Count(), 1u);
  EXPECT_EQ(CallAt(0).param1, 0x643D90u);
  // Reset stops input too.
  delivery.StartInput();
  delivery.Reset();
  Send({0x90, 0x3F, 0x64});
  delivery.Reset();
  EXPECT_EQ(recorder.Count(), 1u);
}

TEST_F(InputDeliveryTest, SysexWithoutAQueuedBufferIsDroppedAndCounted) {
  delivery.StartInput();
  Send(SysexOfLength(10));
  Send({0x90, 0x3C, 0x64});
  ASSERT_TRUE(recorder.WaitFor(1));  // the sysex before it met no buffer
  // Released after the first chunk: the rest of the message has nowhere to go.
  recorder.requeue = false;
  ASSERT_EQ(delivery.AddBuffer(&header), kNoError);
  Send(SysexOfLength(100));
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), 2u);
  EXPECT_EQ(CallAt(0).kind, MIM_DATA);
  EXPECT_EQ(CallAt(1).kind, MIM_LONGDATA);
  EXPECT_EQ(CallAt(1).bytes.size(), 64u);
  EXPECT_EQ(delivery.SysexBytesDropped(), 10u + 36u);
}

TEST_F(InputDeliveryTest, ResetReturnsTheBytesRecordedSoFar) {
  delivery.StartInput();
  ASSERT_EQ(delivery.AddBuffer(&header), kNoError);
  EXPECT_EQ(delivery.AddBuffer(&header), kStillPlaying);
  EXPECT_TRUE(delivery.IsQueued(&header));
  Send({0xF0, 0x09, 0x11, 0x41});  // the rest never comes
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), 1u);
  EXPECT_EQ(CallAt(0).kind, MIM_LONGDATA);
  EXPECT_EQ(CallAt(0).bytes, (Bytes{0xF0, 0x09, 0x11, 0x41}));
  EXPECT_TRUE(delivery.IsQueued(&header)) << "queued again by the callback";
  // After the reset the open message is forgotten: new input starts clean.
  delivery.StartInput();
  Send({0x42, 0xF7});
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), 4u);
  EXPECT_EQ(CallAt(1).kind, MIM_ERROR);
  EXPECT_EQ(CallAt(1).param1, 0x42u);
  EXPECT_EQ(CallAt(2).bytes, (Bytes{0xF7}));
  EXPECT_EQ(CallAt(3).kind, MIM_LONGDATA);
  EXPECT_TRUE(CallAt(3).bytes.empty());
}

TEST_F(InputDeliveryTest, TimeStampsCountMillisecondsFromStart) {
  delivery.StartInput();
  Send({0xF8});
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  Send({0xF8});
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), 2u);
  EXPECT_LT(CallAt(0).timeStamp, 50u);
  EXPECT_GE(CallAt(1).timeStamp, CallAt(0).timeStamp + 60u);
  // A new start counts from zero again.
  delivery.StartInput();
  Send({0xF8});
  delivery.Reset();
  ASSERT_EQ(recorder.Count(), 3u);
  EXPECT_LT(CallAt(2).timeStamp, 50u);
}

TEST_F(InputDeliveryTest, EveryMessageFromAnotherThreadArrivesOnceInOrder) {
  constexpr int kMessages = 20000;
  delivery.StartInput();
  std::thread producer([this] {
    for (int i = 0; i < kMessages; ++i) {
      const Bytes message = {0x90, static_cast<uint8_t>(i & 0x7F),
                             static_cast<uint8_t>((i >> 7) & 0x7F)};
      delivery.Receive(message.data(), message.size());
      if (i % 1000 == 0) std::this_thread::yield();
    }
  });
  producer.join();
  delivery.Reset();
  ASSERT_EQ(delivery.MessagesDropped(), 0u);
  ASSERT_EQ(recorder.Count(), static_cast<size_t>(kMessages));
  for (int i = 0; i < kMessages; ++i) {
    const uint32_t expected = 0x90u | uint32_t(i & 0x7F) << 8 | uint32_t((i >> 7) & 0x7F) << 16;
    ASSERT_EQ(CallAt(i).param1, expected) << i;
  }
}

TEST_F(InputDeliveryTest, EveryBurstIsTakenWithoutAnythingElseWakingTheInputThread) {
  // Bursts of one to seven messages from another thread, each awaited before the next: the
  // input thread is asleep, falling asleep or still busy when a burst begins. A wake-up lost
  // at any of those moments leaves the burst waiting for good (nothing else wakes it here).
  constexpr int kBursts = 3000;
  delivery.StartInput();
  std::thread producer([this] {
    size_t sent = 0;
    for (int burst = 0; burst < kBursts; ++burst) {
      const int n = 1 + burst % 7;
      for (int i = 0; i < n; ++i, ++sent) {
        const Bytes message = {0x90, static_cast<uint8_t>(sent & 0x7F),
                               static_cast<uint8_t>((sent >> 7) & 0x7F)};
        delivery.Receive(message.data(), message.size());
      }
      ASSERT_TRUE(recorder.WaitFor(sent)) << "burst " << burst << " of " << n;
      for (int spin = 0; spin < burst % 50; ++spin) std::this_thread::yield();
    }
  });
  producer.join();
  ASSERT_EQ(delivery.MessagesDropped(), 0u);
  for (size_t i = 0; i < recorder.Count(); ++i) {
    const uint32_t expected = 0x90u | uint32_t(i & 0x7F) << 8 | uint32_t((i >> 7) & 0x7F) << 16;
    ASSERT_EQ(CallAt(i).param1, expected) << i;
  }
}

}  // namespace
}  // namespace tessaly
