#include "capture/queued_input_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/demo_device.h"
#include "capture/midi_constants.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

// A backend whose ports the test plays: it keeps the delivery of the open port so the test
// can send into it, and says what the test tells it about the port's health.
class ScriptedBackend : public PortBackend {
 public:
  class Source : public InputSource {
   public:
    explicit Source(ScriptedBackend& backend) : backend_(backend) {}
    ~Source() override { backend_.delivery = nullptr; }
    MidiResult Health() override { return backend_.health; }

   private:
    ScriptedBackend& backend_;
  };

  std::vector<PortListing> ListPorts() override {
    std::vector<PortListing> listed;
    for (size_t i = 0; i < names.size(); ++i) {
      listed.push_back({names[i], i < groups.size() ? groups[i] : PortGroup::kProgram});
    }
    return listed;
  }
  MidiResult Open(size_t index, InputDelivery& target,
                  std::unique_ptr<InputSource>& source) override {
    if (openResult != kNoError) return openResult;
    openedIndex = index;
    delivery = &target;
    source = std::make_unique<Source>(*this);
    return kNoError;
  }
  void Send(const Bytes& bytes) { delivery->Receive(bytes.data(), bytes.size()); }

  std::vector<std::string> names = {"alpha", "beta"};
  std::vector<PortGroup> groups;  // kProgram for each port not given
  MidiResult openResult = kNoError;
  MidiResult health = kNoError;
  size_t openedIndex = 99;
  InputDelivery* delivery = nullptr;
};

// Records every callback call; queues a returned buffer again from inside the call, as the
// real callback does.
struct Calls {
  static void Callback(MidiInHandle handle, uint32_t kind, uintptr_t instance, uintptr_t param1,
                       uintptr_t) {
    Calls& self = *reinterpret_cast<Calls*>(instance);
    self.kinds.push_back(kind);
    if (kind == MIM_LONGDATA && self.requeue) {
      self.addResults.push_back(self.service->AddBuffer(
          handle, reinterpret_cast<ReceiveHeader*>(param1), kReceiveHeaderSize));
    }
  }
  QueuedInputService* service = nullptr;
  bool requeue = false;
  std::vector<uint32_t> kinds;
  std::vector<MidiResult> addResults;
};

class QueuedInputServiceTest : public ::testing::Test {
 protected:
  QueuedInputServiceTest() {
    auto owned = std::make_unique<ScriptedBackend>();
    backend = owned.get();
    std::vector<std::unique_ptr<PortBackend>> backends;
    backends.push_back(std::move(owned));
    backends.push_back(std::make_unique<DemoBackend>());
    service = std::make_unique<QueuedInputService>(std::move(backends));
    calls.service = service.get();
    buffer.resize(64);
    header.data.store(buffer.data());
    header.bufferLength.store(64);
  }

  MidiResult Open(uint32_t port) {
    return service->Open(&handle, port, &Calls::Callback, reinterpret_cast<uintptr_t>(&calls),
                         kCallbackFunction);
  }
  void Queue() {
    ASSERT_EQ(service->PrepareHeader(handle, &header, kReceiveHeaderSize), kNoError);
    ASSERT_EQ(service->AddBuffer(handle, &header, kReceiveHeaderSize), kNoError);
  }

  ScriptedBackend* backend = nullptr;
  std::unique_ptr<QueuedInputService> service;
  Calls calls;
  MidiInHandle handle = 0;
  Bytes buffer;
  ReceiveHeader header;
};

TEST_F(QueuedInputServiceTest, ListsEveryBackendsPortsInOrder) {
  // A list made for a capability query is counted as it is; the next count lists again.
  PortCaps first;
  ASSERT_EQ(service->GetDevCaps(0, &first, kPortCapsSize), kNoError);
  backend->names = {"alpha", "beta", "gamma"};
  EXPECT_EQ(service->GetNumDevs(), 3u);
  backend->names = {"alpha", "beta"};
  ASSERT_EQ(service->GetNumDevs(), 3u);
  const char* expected[] = {"alpha", "beta", "Tessaly demo device"};
  for (uint32_t port = 0; port < 3; ++port) {
    PortCaps caps;
    ASSERT_EQ(service->GetDevCaps(port, &caps, kPortCapsSize), kNoError);
    EXPECT_STREQ(caps.productName, expected[port]);
  }
  PortCaps caps;
  EXPECT_EQ(service->GetDevCaps(3, &caps, kPortCapsSize), kBadDeviceId);
  EXPECT_EQ(service->GetDevCaps(0, &caps, kPortCapsSize - 1), kInvalidParam);
  // A name longer than the record is cut, terminated.
  backend->names = {std::string(300, 'n')};
  ASSERT_EQ(service->GetNumDevs(), 2u);
  ASSERT_EQ(service->GetDevCaps(0, &caps, kPortCapsSize), kNoError);
  EXPECT_EQ(std::string(caps.productName), std::string(kProductNameSize - 1, 'n'));
}

// Ports stand by group over every backend, each backend's order kept within a group, and a
// port opens on the backend and at the index it was listed with.
TEST(QueuedInputServiceOrderTest, PortsStandByGroupAcrossBackends) {
  auto first = std::make_unique<ScriptedBackend>();
  auto second = std::make_unique<ScriptedBackend>();
  ScriptedBackend& a = *first;
  ScriptedBackend& b = *second;
  a.names = {"a through", "a program", "a own", "a device 1", "a device 2"};
  a.groups = {PortGroup::kLoopback, PortGroup::kProgram, PortGroup::kOwn, PortGroup::kDevice,
              PortGroup::kDevice};
  b.names = {"b own", "b bridged", "b program"};
  b.groups = {PortGroup::kOwn, PortGroup::kBridged, PortGroup::kProgram};
  std::vector<std::unique_ptr<PortBackend>> backends;
  backends.push_back(std::move(first));
  backends.push_back(std::move(second));
  backends.push_back(std::make_unique<DemoBackend>());
  QueuedInputService service(std::move(backends));
  const std::vector<std::string> expected = {"a device 1", "a device 2", "a program",
                                             "b program",  "b bridged",  "a through",
                                             "a own",      "b own",      "Tessaly demo device"};
  ASSERT_EQ(service.GetNumDevs(), expected.size());
  for (uint32_t port = 0; port < expected.size(); ++port) {
    PortCaps caps;
    ASSERT_EQ(service.GetDevCaps(port, &caps, kPortCapsSize), kNoError);
    EXPECT_EQ(std::string(caps.productName), expected[port]) << port;
  }
  Calls calls;
  calls.service = &service;
  struct Opened {
    uint32_t port;
    ScriptedBackend* backend;
    size_t index;
  };
  for (const Opened& o : {Opened{1, &a, 4}, Opened{4, &b, 1}, Opened{7, &b, 0}}) {
    MidiInHandle handle = 0;
    ASSERT_EQ(service.Open(&handle, o.port, &Calls::Callback, reinterpret_cast<uintptr_t>(&calls),
                           kCallbackFunction),
              kNoError);
    EXPECT_NE(o.backend->delivery, nullptr) << o.port;
    EXPECT_EQ(o.backend->openedIndex, o.index) << o.port;
    ASSERT_EQ(service.Close(handle), kNoError);
  }
}

TEST_F(QueuedInputServiceTest, OpenAndCloseCallBackAndFreeTheHandle) {
  EXPECT_EQ(Open(3), kBadDeviceId);
  EXPECT_EQ(service->Open(&handle, 0, &Calls::Callback, 0, 0), kInvalidParam);
  backend->openResult = kServerGone;
  EXPECT_EQ(Open(1), kServerGone);
  EXPECT_TRUE(calls.kinds.empty());
  backend->openResult = kNoError;
  ASSERT_EQ(Open(1), kNoError);
  EXPECT_EQ(backend->openedIndex, 1u);
  const MidiInHandle first = handle;
  MidiInHandle other = 0;
  EXPECT_EQ(service->Open(&other, 0, &Calls::Callback, 0, kCallbackFunction), kAllocated);
  EXPECT_EQ(service->Close(first), kNoError);
  EXPECT_EQ(calls.kinds, (std::vector<uint32_t>{MIM_OPEN, MIM_CLOSE}));
  EXPECT_EQ(backend->delivery, nullptr) << "the source is gone with the port";
  ASSERT_EQ(Open(0), kNoError);
  EXPECT_NE(handle, first) << "a handle is never given out twice";
  EXPECT_EQ(service->Close(first), kInvalidHandle);
}

TEST_F(QueuedInputServiceTest, EveryCallOnAClosedOrUnknownHandleIsInvalid) {
  ASSERT_EQ(Open(0), kNoError);
  const MidiInHandle closed = handle;
  ASSERT_EQ(service->Close(closed), kNoError);
  for (MidiInHandle h : {MidiInHandle{0}, closed, MidiInHandle{12345}}) {
    EXPECT_EQ(service->Start(h), kInvalidHandle);
    EXPECT_EQ(service->Stop(h), kInvalidHandle);
    EXPECT_EQ(service->Reset(h), kInvalidHandle);
    EXPECT_EQ(service->Close(h), kInvalidHandle);
    EXPECT_EQ(service->PrepareHeader(h, &header, kReceiveHeaderSize), kInvalidHandle);
    EXPECT_EQ(service->UnprepareHeader(h, &header, kReceiveHeaderSize), kInvalidHandle);
    EXPECT_EQ(service->AddBuffer(h, &header, kReceiveHeaderSize), kInvalidHandle);
  }
}

TEST_F(QueuedInputServiceTest, BufferRules) {
  ASSERT_EQ(Open(0), kNoError);
  EXPECT_EQ(service->AddBuffer(handle, &header, kReceiveHeaderSize), kUnprepared);
  EXPECT_EQ(service->PrepareHeader(handle, &header, kReceiveHeaderSize - 1), kInvalidParam);
  ReceiveHeader empty;
  EXPECT_EQ(service->PrepareHeader(handle, &empty, kReceiveHeaderSize), kInvalidParam);
  Queue();
  EXPECT_EQ(service->AddBuffer(handle, &header, kReceiveHeaderSize), kStillPlaying);
  EXPECT_EQ(service->UnprepareHeader(handle, &header, kReceiveHeaderSize), kStillPlaying);
  EXPECT_EQ(service->Close(handle), kStillPlaying);
  // Reset hands the buffer back before it returns; then it may be released and the port closed.
  EXPECT_EQ(service->Reset(handle), kNoError);
  EXPECT_EQ(calls.kinds, (std::vector<uint32_t>{MIM_OPEN, MIM_LONGDATA}));
  EXPECT_EQ(service->UnprepareHeader(handle, &header, kReceiveHeaderSize), kNoError);
  EXPECT_EQ(header.flags.load() & kHeaderPrepared, 0u);
  EXPECT_EQ(service->Close(handle), kNoError);
}

TEST_F(QueuedInputServiceTest, TheCallbackQueuesTheBufferAgainFromInside) {
  calls.requeue = true;
  ASSERT_EQ(Open(0), kNoError);
  ASSERT_EQ(service->Start(handle), kNoError);
  Queue();
  Bytes message(150, 0x41);
  message.front() = kSysexStart;
  message.back() = kSysexEnd;
  backend->Send(message);
  ASSERT_EQ(service->Reset(handle), kNoError);
  // Three chunks (64, 64, 22), then the reset's return: each queued again from inside.
  EXPECT_EQ(calls.kinds, (std::vector<uint32_t>{MIM_OPEN, MIM_LONGDATA, MIM_LONGDATA, MIM_LONGDATA,
                                                MIM_LONGDATA}));
  EXPECT_EQ(calls.addResults, (std::vector<MidiResult>(4, kNoError)));
  EXPECT_EQ(service->Close(handle), kStillPlaying);
  calls.requeue = false;
  EXPECT_EQ(service->Reset(handle), kNoError);
  EXPECT_EQ(service->Close(handle), kNoError);
}

TEST_F(QueuedInputServiceTest, PortCallsReportWhatThePortSaysAboutItself) {
  ASSERT_EQ(Open(0), kNoError);
  for (MidiResult health : {kSourceGone, kServerGone}) {
    backend->health = health;
    EXPECT_EQ(service->Start(handle), health);
    EXPECT_EQ(service->Stop(handle), health);
    EXPECT_EQ(service->Reset(handle), health);
  }
  // Close always closes.
  EXPECT_EQ(service->Close(handle), kNoError);
  EXPECT_EQ(service->Start(handle), kInvalidHandle);
}

TEST_F(QueuedInputServiceTest, ForceCloseStopsInputWithoutCallingBack) {
  ASSERT_EQ(Open(0), kNoError);
  ASSERT_EQ(service->Start(handle), kNoError);
  Queue();
  service->ForceClose();
  EXPECT_EQ(calls.kinds, (std::vector<uint32_t>{MIM_OPEN}));
  EXPECT_EQ(backend->delivery, nullptr);
  EXPECT_EQ(service->Start(handle), kInvalidHandle);
}

}  // namespace
}  // namespace tessaly
