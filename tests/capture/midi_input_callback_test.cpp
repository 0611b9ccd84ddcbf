#include "capture/midi_input_callback.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "tests/support/open_capture.h"

namespace tessaly {
namespace {

class CallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service.SetPorts({"port zero"});
    handle = testing::OpenAndQueue(service, *state);
  }

  // Everything the drain would read from the queue, without decoding.
  std::vector<uint8_t> QueuedBytes() {
    std::vector<uint8_t> bytes;
    ReadSysexQ(
        state->sysexQ, [&](const uint8_t* b, size_t n) { bytes.insert(bytes.end(), b, b + n); },
        [] { ADD_FAILURE() << "unexpected overflow"; });
    return bytes;
  }

  EventRecord Event(uint64_t index) {
    EventRecord record;
    EXPECT_TRUE(TakeEvent(state->eventRing, index, record)) << "index " << index;
    return record;
  }

  uint64_t Count(uint8_t entry) { return state->statusCounters.Get(entry); }

  FakeMidiInputService service;
  std::unique_ptr<CaptureState> state = std::make_unique<CaptureState>(service);
  MidiInHandle handle = 0;
};

TEST_F(CallbackTest, EveryCallTakesASlotAndCountsAsACallback) {
  // The open already took slot 0.
  ASSERT_EQ(state->eventRing.writeIndex.load(), 1u);
  EXPECT_EQ(Event(0).kind, MIM_OPEN);
  struct Case {
    uint32_t kind;
    uint32_t param1;
    uint32_t param2;
  };
  const Case cases[] = {
      {MIM_DATA, PackShortMessage(0x90, 60, 100), 1234},
      {MIM_ERROR, 0x00007F, 99},
      {MIM_MOREDATA, 0x42, 7},
      {0x12345, 0xFFFFFFFF, 0xFFFFFFFF},  // an unknown kind is stored as it is
      {MIM_CLOSE, 0, 0},
  };
  for (const Case& c : cases) ASSERT_TRUE(service.Deliver(c.kind, c.param1, c.param2));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const EventRecord e = Event(i + 1);
    EXPECT_EQ(e.kind, cases[i].kind);
    EXPECT_EQ(e.message, cases[i].param1);
    EXPECT_EQ(e.timeStamp, cases[i].param2);
    EXPECT_FALSE(e.released);
  }
  EXPECT_EQ(Count(kCountCallbacks), 1u + std::size(cases));
  EXPECT_EQ(Count(kCountBuffersReceived), 0u);
  EXPECT_EQ(QueuedBytes(), std::vector<uint8_t>{});
}

TEST_F(CallbackTest, ReturnedBufferIsCopiedAndQueuedAgain) {
  const std::vector<uint8_t> first = {0xF0, 0x09, 0x11, 'h', 'i', 0xF7};
  const std::vector<uint8_t> second = {0xF0, 0x09, 0x10, 'x', 0xF7};
  ASSERT_TRUE(service.ReturnBuffer(first.data(), first.size(), 10));
  EXPECT_TRUE(service.BufferQueued());
  ASSERT_TRUE(service.ReturnBuffer(second.data(), second.size(), 11));
  EXPECT_TRUE(service.BufferQueued());
  std::vector<uint8_t> both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_EQ(QueuedBytes(), both);
  EXPECT_EQ(Count(kCountBuffersReceived), 2u);
  EXPECT_EQ(Count(kCountBuffersReleased), 0u);
  EXPECT_EQ(Event(1).kind, MIM_LONGDATA);
  EXPECT_FALSE(Event(1).released);
}

TEST_F(CallbackTest, EmptyReturnAtResetIsQueuedAgainAndCounted) {
  ASSERT_EQ(service.Reset(handle), kNoError);
  EXPECT_TRUE(service.BufferQueued());
  EXPECT_EQ(Count(kCountBuffersReceived), 1u);
  EXPECT_EQ(QueuedBytes(), std::vector<uint8_t>{});
}

TEST_F(CallbackTest, StopRequestReleasesTheBufferAfterCopyingItsBytes) {
  const std::vector<uint8_t> bytes = {0xF0, 0x09, 0x12, 0xF7};
  state->stopRequest.store(1);
  ASSERT_TRUE(service.ReturnBuffer(bytes.data(), bytes.size(), 5));
  EXPECT_FALSE(service.BufferQueued());
  EXPECT_EQ(QueuedBytes(), bytes);
  EXPECT_EQ(Count(kCountBuffersReleased), 1u);
  EXPECT_EQ(Count(kCountBuffersReceived), 0u);
  const EventRecord e = Event(1);
  EXPECT_TRUE(e.released);
  EXPECT_STREQ(e.statusText, "The specified command was carried out.");
  // The release served the request: a later buffer circulates again.
  EXPECT_EQ(state->stopRequest.load(), 0u);
}

TEST_F(CallbackTest, FailedUnprepareKeepsTheRequestForTheNextReturn) {
  state->stopRequest.store(1);
  service.FailCall(FakeMidiInputService::Call::kUnprepareHeader, kInvalidHandle);
  ASSERT_TRUE(service.ReturnBuffer(nullptr, 0, 5));
  const EventRecord e = Event(1);
  EXPECT_TRUE(e.released);
  EXPECT_STREQ(e.statusText, "The device handle is invalid.");
  EXPECT_EQ(state->stopRequest.load(), 1u);
}

TEST_F(CallbackTest, LongErrorQueuesTheBufferAgainWithoutItsBytes) {
  const std::vector<uint8_t> bytes = {0xF0, 0x09, 0x11, 'b', 'a', 'd'};
  ASSERT_TRUE(service.ReturnBuffer(bytes.data(), bytes.size(), 5, MIM_LONGERROR));
  EXPECT_TRUE(service.BufferQueued());  // one bad message does not end sysex input
  EXPECT_EQ(QueuedBytes(), std::vector<uint8_t>{});
  EXPECT_EQ(Count(kCountCallbacks), 2u);
  EXPECT_EQ(Count(kCountBuffersReceived), 0u);
  // And the next good one still arrives.
  const std::vector<uint8_t> good = {0xF0, 0x09, 0x12, 0xF7};
  ASSERT_TRUE(service.ReturnBuffer(good.data(), good.size(), 6));
  EXPECT_EQ(QueuedBytes(), good);
}

TEST_F(CallbackTest, LongErrorWithStopRequestReleasesTheBuffer) {
  state->stopRequest.store(1);
  ASSERT_TRUE(service.ReturnBuffer(nullptr, 0, 5, MIM_LONGERROR));
  EXPECT_FALSE(service.BufferQueued());
  EXPECT_TRUE(Event(1).released);
  EXPECT_EQ(Count(kCountBuffersReleased), 1u);
}

TEST_F(CallbackTest, RecordedCountBeyondTheLentBufferIsCut) {
  std::vector<uint8_t> bytes(64);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(service.ReturnBuffer(bytes.data(), bytes.size(), 5, MIM_LONGDATA, 100000u));
  EXPECT_EQ(QueuedBytes(), bytes);
}

TEST_F(CallbackTest, ForeignHeaderIsRecordedButNotTouched) {
  ReceiveHeader stranger;
  uint8_t strangerBytes[4] = {1, 2, 3, 4};
  stranger.data.store(strangerBytes);
  stranger.bufferLength.store(4);
  stranger.bytesRecorded.store(4);
  ASSERT_TRUE(service.Deliver(MIM_LONGDATA, reinterpret_cast<uintptr_t>(&stranger), 3));
  ASSERT_TRUE(service.Deliver(MIM_LONGDATA, 0xDEADBEEF, 3));  // not even an address
  EXPECT_EQ(QueuedBytes(), std::vector<uint8_t>{});
  EXPECT_EQ(stranger.flags.load(), 0u);
  EXPECT_EQ(Count(kCountCallbacks), 3u);
  EXPECT_EQ(Count(kCountBuffersReceived), 0u);
  EXPECT_EQ(Event(2).message, 0xDEADBEEFu);
}

TEST_F(CallbackTest, ZeroInstanceIsIgnored) {
  MidiInputCallback(handle, MIM_DATA, 0, 0x90, 1);
  EXPECT_EQ(state->eventRing.writeIndex.load(), 1u);
}

}  // namespace
}  // namespace tessaly
