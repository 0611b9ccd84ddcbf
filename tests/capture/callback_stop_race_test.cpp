// A stop request that lands while the callback is queuing a returned buffer again: the window
// thread's port change sets stopRequest just after the callback first looked at it. Played in
// one thread by a service that sets the request from inside AddBuffer.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/midi_input_callback.h"
#include "tests/support/open_capture.h"

namespace tessaly {
namespace {

using Call = FakeMidiInputService::Call;

// Sets the stop request once, right after the next AddBuffer has done its work.
class StopDuringRequeueService : public FakeMidiInputService {
 public:
  MidiResult AddBuffer(MidiInHandle handle, ReceiveHeader* header, uint32_t headerSize) override {
    const MidiResult result = FakeMidiInputService::AddBuffer(handle, header, headerSize);
    if (stopRequest != nullptr) std::exchange(stopRequest, nullptr)->store(1);
    return result;
  }
  std::atomic<uint32_t>* stopRequest = nullptr;
};

TEST(CallbackStopRaceTest, RequestDuringRequeueIsServedOnlyByABufferThatIsReallyFree) {
  struct Case {
    const char* name;
    bool requeueFails;
    // What the return that met the request left behind.
    bool releasedAtOnce;
    bool queued;
    uint32_t stopRequest;
    // The buffers released in all, after the port's reset.
    uint64_t released;
  };
  const Case cases[] = {
      // Queued again: it is the service's now, and comes back at the reset, which releases it.
      {"queued again", false, false, true, 1, 1},
      // Not queued: nobody would ever return it, so it is released at once.
      {"could not be queued again", true, true, false, 0, 1},
  };
  const std::vector<uint8_t> message = {0xF0, 0x09, 0x12, 0xF7};
  const std::string kOk = "The specified command was carried out.";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StopDuringRequeueService service;
    service.SetPorts({"Port A"});
    auto state = std::make_unique<CaptureState>(service);
    const MidiInHandle handle = testing::OpenAndQueue(service, *state);
    service.stopRequest = &state->stopRequest;
    if (c.requeueFails) service.FailCall(Call::kAddBuffer, kNoMemory);

    ASSERT_TRUE(service.ReturnBuffer(message.data(), message.size(), 10));
    EventRecord event;
    ASSERT_TRUE(TakeEvent(state->eventRing, 1, event));
    EXPECT_EQ(event.kind, MIM_LONGDATA);
    EXPECT_EQ(event.released, c.releasedAtOnce);
    if (c.releasedAtOnce) {
      EXPECT_EQ(std::string(event.statusText), kOk);
    }
    EXPECT_EQ(service.BufferQueued(), c.queued);
    EXPECT_EQ(state->stopRequest.load(), c.stopRequest);
    // The bytes arrived either way, once.
    EXPECT_EQ(state->sysexQ.writeIndex.load(), message.size());
    EXPECT_EQ(state->statusCounters.Get(kCountBuffersReceived), 1u);

    // The port change goes on: its reset returns whatever is still queued.
    ASSERT_EQ(service.Reset(handle), kNoError);
    EXPECT_FALSE(service.BufferQueued());
    EXPECT_EQ(state->stopRequest.load(), 0u);
    EXPECT_EQ(state->statusCounters.Get(kCountBuffersReleased), c.released);
    // Every release recorded in the ring succeeded: none reports "still in the queue".
    const uint64_t written = state->eventRing.writeIndex.load();
    uint64_t releases = 0;
    for (uint64_t i = 1; i < written; ++i) {
      ASSERT_TRUE(TakeEvent(state->eventRing, i, event));
      if (!event.released) continue;
      ++releases;
      EXPECT_EQ(std::string(event.statusText), kOk) << "event " << i;
    }
    EXPECT_EQ(releases, c.released);
    EXPECT_EQ(state->sysexQ.writeIndex.load(), message.size());
  }
}

}  // namespace
}  // namespace tessaly
