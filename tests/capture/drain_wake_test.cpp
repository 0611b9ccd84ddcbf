#include "capture/drain_wake.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <memory>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/queue_marks.h"
#include "display/monitor_core.h"
#include "tests/support/open_capture.h"

namespace tessaly {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

class DrainWakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service.SetPorts({"p"});
    testing::OpenAndQueue(service, core.capture());
    core.DrainAndDisplay();
    ASSERT_GE(wake().fd(), 0);
  }
  DrainWake& wake() { return core.capture().drainWake; }
  void Shorts(int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(service.DeliverShort(PackShortMessage(0xF8), 0));
  }

  FakeMidiInputService service;
  MonitorCore core{service};
};

TEST_F(DrainWakeTest, EventRingSignalsOncePerCrossingOfTheMark) {
  Shorts(kEventRingFillMark - 1);
  EXPECT_FALSE(Readable(wake().fd()));
  EXPECT_EQ(wake().signals(), 0u);
  Shorts(1);
  EXPECT_TRUE(Readable(wake().fd()));
  Shorts(100);  // still above the mark: no further signal until the drain rearms
  EXPECT_EQ(wake().signals(), 1u);
  core.DrainAndDisplay();
  EXPECT_FALSE(Readable(wake().fd()));
  EXPECT_EQ(core.basicMessageList.Count(), kEventRingFillMark + 100);
  Shorts(kEventRingFillMark);
  EXPECT_TRUE(Readable(wake().fd()));
  EXPECT_EQ(wake().signals(), 2u);
}

TEST_F(DrainWakeTest, SysexQueueSignalsAtItsMark) {
  std::vector<uint8_t> message(kSysexQFillMark, 0x01);
  message.front() = 0xF0;
  message.back() = 0xF7;
  EXPECT_EQ(service.SendSysex(message.data(), kSysexQFillMark - 64, 0), 0u);
  EXPECT_EQ(wake().signals(), 0u);
  EXPECT_EQ(service.SendSysex(message.data() + kSysexQFillMark - 64, 64, 0), 0u);
  EXPECT_EQ(wake().signals(), 1u);
  EXPECT_TRUE(Readable(wake().fd()));
  core.DrainAndDisplay();
  EXPECT_FALSE(Readable(wake().fd()));
  EXPECT_EQ(core.capture().sysexQ.readIndex.load(), kSysexQFillMark);
}

}  // namespace
}  // namespace tessaly
