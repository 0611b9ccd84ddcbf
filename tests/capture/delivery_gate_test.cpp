// Flow control between the service's input thread and the consumer: QueueRoomGate's room, and
// InputDelivery holding its callback calls back while the gate says there is none.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/input_delivery.h"
#include "capture/midi_constants.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

// A service that records the gate it is given.
class GateRecordingService : public FakeMidiInputService {
 public:
  void SetDeliveryGate(const DeliveryGate* gate) override { gates.push_back(gate); }
  std::vector<const DeliveryGate*> gates;
};

TEST(CaptureStateGate, OffersItselfAndTakesItselfBack) {
  GateRecordingService service;
  const DeliveryGate* offered = nullptr;
  {
    CaptureState state(service);
    offered = &state.gate;
    ASSERT_EQ(service.gates.size(), 1u);
    EXPECT_EQ(service.gates[0], offered);
  }
  ASSERT_EQ(service.gates.size(), 2u);
  EXPECT_EQ(service.gates[1], nullptr);
}

TEST(CaptureStateGate, RoomEndsAtThreeQuartersOfEitherQueue) {
  struct Case {
    uint64_t eventsWritten, eventsRead, bytesWritten, bytesRead;
    bool room;
  };
  const Case cases[] = {
      {0, 0, 0, 0, true},           {383, 0, 0, 0, true},    {384, 0, 0, 0, false},
      {512, 0, 0, 0, false},        {1000, 617, 0, 0, true},  // 383 unread
      {1000, 616, 0, 0, false},     {0, 0, 6143, 0, true},   {0, 0, 6144, 0, false},
      {0, 0, 100000, 93857, true},  // 6143 unread
      {0, 0, 100000, 93856, false}, {383, 0, 6143, 0, true},
  };
  FakeMidiInputService service;
  for (const Case& c : cases) {
    CaptureState state(service);
    state.eventRing.writeIndex.store(c.eventsWritten);
    state.eventRing.readIndex.store(c.eventsRead);
    state.sysexQ.writeIndex.store(c.bytesWritten);
    state.sysexQ.readIndex.store(c.bytesRead);
    EXPECT_EQ(state.gate.HasRoom(), c.room)
        << c.eventsWritten << " " << c.eventsRead << " " << c.bytesWritten << " " << c.bytesRead;
  }
}

// Records the message of every MIM_DATA call in order; returned buffers are queued again.
struct Consumer {
  static constexpr size_t kMaxCalls = 4096;
  static void Callback(MidiInHandle, uint32_t kind, uintptr_t instance, uintptr_t param1,
                       uintptr_t) {
    Consumer& self = *reinterpret_cast<Consumer*>(instance);
    const size_t at = self.count.load(std::memory_order_relaxed);  // only this thread adds
    if (at >= kMaxCalls) return;
    self.kinds[at] = kind;
    self.messages[at] = static_cast<uint32_t>(param1);
    self.count.store(at + 1, std::memory_order_release);  // release: the call is recorded
  }
  size_t Count() const { return count.load(std::memory_order_acquire); }
  bool WaitFor(size_t n) const {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Count() < n) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(200us);
    }
    return true;
  }
  std::vector<uint32_t> kinds = std::vector<uint32_t>(kMaxCalls);
  std::vector<uint32_t> messages = std::vector<uint32_t>(kMaxCalls);
  std::atomic<size_t> count{0};
};

// Room for calls while fewer than `limit` were made.
struct CountingGate : DeliveryGate {
  explicit CountingGate(const Consumer& c) : consumer(c) {}
  bool HasRoom() const override { return consumer.Count() < limit.load(); }
  const Consumer& consumer;
  std::atomic<size_t> limit{0};
};

class HoldBackTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(delivery.Launch()); }
  void TearDown() override { delivery.Shutdown(); }

  // Note-on number i of a run: key i mod 128, velocity 1 + i / 128 (MIM_DATA NoteMessage(i)).
  static uint32_t NoteMessage(uint32_t i) { return 0x90u | (i % 128) << 8 | (1 + i / 128) << 16; }
  void SendNotes(uint32_t n) {
    for (uint32_t i = sent; i < sent + n; ++i) {
      const uint32_t message = NoteMessage(i);
      const uint8_t bytes[3] = {0x90, static_cast<uint8_t>(message >> 8),
                                static_cast<uint8_t>(message >> 16)};
      delivery.Receive(bytes, sizeof bytes);
    }
    sent += n;
  }
  // Input started behind a gate with no limit to its wait, `notes` sent, and the first `limit`
  // of them through.
  void HoldAt(size_t limit, uint32_t notes) {
    delivery.SetGate(&gate, std::chrono::milliseconds(std::chrono::hours(1)));
    delivery.StartInput();
    gate.limit = limit;
    SendNotes(notes);
    ASSERT_TRUE(consumer.WaitFor(limit));
  }
  // Every call so far is MIM_DATA for the notes sent, in order.
  void ExpectNotesInOrder(size_t n) {
    ASSERT_EQ(consumer.Count(), n);
    for (uint32_t i = 0; i < n; ++i) {
      ASSERT_EQ(consumer.kinds[i], MIM_DATA) << i;
      ASSERT_EQ(consumer.messages[i], NoteMessage(i)) << i;
    }
  }

  uint32_t sent = 0;
  Consumer consumer;
  CountingGate gate{consumer};
  InputDelivery delivery{3, &Consumer::Callback, reinterpret_cast<uintptr_t>(&consumer)};
};

TEST_F(HoldBackTest, CallsWaitForRoomAndThenAllArriveInOrder) {
  ASSERT_NO_FATAL_FAILURE(HoldAt(10, 300));
  // Held at the limit: the other 290 wait in the raw queue, none is dropped.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(consumer.Count(), 10u);
  gate.limit = 60;
  ASSERT_TRUE(consumer.WaitFor(60));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(consumer.Count(), 60u);
  gate.limit = 1000;
  ASSERT_TRUE(consumer.WaitFor(300));
  ExpectNotesInOrder(300);
  const InputDelivery::Counts counts = delivery.counts();
  EXPECT_EQ(counts.messagesDropped, 0u);
  EXPECT_EQ(counts.heldBack, 2u);
  EXPECT_EQ(counts.gaveUp, 0u);
}

TEST_F(HoldBackTest, AGateThatNeverOpensHoldsBackOnceThenInputFlows) {
  delivery.SetGate(&gate, 1ms);
  delivery.StartInput();
  SendNotes(200);
  ASSERT_TRUE(consumer.WaitFor(200));
  ExpectNotesInOrder(200);
  const InputDelivery::Counts counts = delivery.counts();
  EXPECT_EQ(counts.heldBack, 1u);
  EXPECT_EQ(counts.gaveUp, 1u);
  // Once the gate shows room again, a full consumer is waited for again.
  gate.limit = 201;
  SendNotes(1);
  ASSERT_TRUE(consumer.WaitFor(201));
  gate.limit = 0;
  SendNotes(1);
  ASSERT_TRUE(consumer.WaitFor(202));
  EXPECT_EQ(delivery.counts().heldBack, 2u);
  EXPECT_EQ(delivery.counts().gaveUp, 2u);
}

TEST_F(HoldBackTest, AHalfFullRawQueueEndsTheWaitLongBeforeItsLimit) {
  delivery.SetGate(&gate, std::chrono::milliseconds(std::chrono::hours(1)));
  delivery.StartInput();
  // 50 000 notes of 11 queued bytes each: more than half of the raw queue, all kept.
  SendNotes(50000);
  ASSERT_TRUE(consumer.WaitFor(Consumer::kMaxCalls))
      << consumer.Count() << " " << delivery.counts().heldBack << " " << delivery.counts().gaveUp
      << " " << delivery.counts().messagesDropped;
  ExpectNotesInOrder(Consumer::kMaxCalls);
  EXPECT_EQ(delivery.counts().messagesDropped, 0u);
  EXPECT_EQ(delivery.counts().heldBack, 1u);
  EXPECT_EQ(delivery.counts().gaveUp, 1u);
}

TEST_F(HoldBackTest, WithoutAGateNothingWaits) {
  delivery.StartInput();
  SendNotes(300);
  ASSERT_TRUE(consumer.WaitFor(300));
  ExpectNotesInOrder(300);
  EXPECT_EQ(delivery.counts().heldBack, 0u);
}

TEST_F(HoldBackTest, ResetDoesNotWaitForRoomAndStillDeliversEverything) {
  std::vector<uint8_t> buffer(64);
  ReceiveHeader header;
  header.data.store(buffer.data());
  header.bufferLength.store(64);
  header.flags.store(kHeaderPrepared);
  ASSERT_EQ(delivery.AddBuffer(&header), kNoError);
  ASSERT_NO_FATAL_FAILURE(HoldAt(5, 50));
  // The input thread is held at the gate; the reset (an hour's limit notwithstanding) delivers
  // the 45 waiting notes and then returns the empty buffer.
  delivery.Reset();
  ASSERT_EQ(consumer.Count(), 51u);
  for (uint32_t i = 0; i < 50; ++i) ASSERT_EQ(consumer.messages[i], NoteMessage(i)) << i;
  EXPECT_EQ(consumer.kinds[50], MIM_LONGDATA);
  EXPECT_EQ(consumer.messages[50], static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&header)));
}

TEST_F(HoldBackTest, ShutdownEndsAWaitForRoom) {
  ASSERT_NO_FATAL_FAILURE(HoldAt(3, 20));
  delivery.Shutdown();  // returns although the gate never opens
  EXPECT_LE(consumer.Count(), 4u);
}

}  // namespace
}  // namespace tessaly
