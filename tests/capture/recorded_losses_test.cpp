// What a recording holds besides the messages: the losses the input thread sees (the raw queue
// full, sysex bytes with no buffer, the MIDI system's reports), in order with the messages, and
// the port line when a recording starts on an open port. The service runs over a scripted
// backend; the tap keeps the lines in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_log_format.h"
#include "capture/capture_tap.h"
#include "capture/midi_constants.h"
#include "capture/queued_input_service.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

class OnePortBackend : public PortBackend {
 public:
  std::vector<PortListing> ListPorts() override { return {{"JACK: keys", PortGroup::kProgram}}; }
  MidiResult Open(size_t, InputDelivery& target, std::unique_ptr<InputSource>& source) override {
    delivery = &target;
    source = std::make_unique<InputSource>();
    return kNoError;
  }
  InputDelivery* delivery = nullptr;
};

// The lines as the recorder would write them.
class LineTap : public CaptureTap {
 public:
  void Delivered(int64_t ns, const uint8_t* bytes, size_t n) override {
    CaptureEvent event;
    event.ns = ns;
    event.bytes = {bytes, n};
    Add(event);
  }
  void PortOpened(std::string_view name) override {
    CaptureEvent event;
    event.kind = CaptureKind::kPort;
    event.bytes = {reinterpret_cast<const uint8_t*>(name.data()), name.size()};
    Add(event);
  }
  void Lost(const CaptureEvent& event) override { Add(event); }

  std::vector<int64_t> ns;
  std::vector<std::string> lines;  // without the time

 private:
  void Add(const CaptureEvent& event) {
    std::string line;
    AppendCaptureLogLine(event, line);
    line.pop_back();
    lines.push_back(line.substr(line.find(' ') + 1));
    if (event.kind != CaptureKind::kPort) ns.push_back(event.ns);
  }
};

// Holds the input thread inside the callback on note 0x7F until released, so that the raw queue
// fills behind it; counts note 0x7E, which tells the test that what came before has been taken.
struct Holder {
  static void Callback(MidiInHandle, uint32_t kind, uintptr_t instance, uintptr_t param1,
                       uintptr_t) {
    Holder& self = *reinterpret_cast<Holder*>(instance);
    if (kind != MIM_DATA) return;
    self.delivered.fetch_add(1, std::memory_order_release);
    self.delivered.notify_all();
    const uint32_t note = (param1 >> 8) & 0x7F;
    if (note == 0x7E) {
      self.synced.fetch_add(1, std::memory_order_release);
      self.synced.notify_all();
    } else if (note == 0x7F) {
      self.holding.store(true, std::memory_order_release);
      self.holding.notify_all();
      self.release.wait(false, std::memory_order_acquire);
    }
  }
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::atomic<uint32_t> synced{0};
  std::atomic<uint32_t> delivered{0};  // notes of every kind
};

struct Rig {
  Rig() {
    auto owned = std::make_unique<OnePortBackend>();
    backend = owned.get();
    std::vector<std::unique_ptr<PortBackend>> backends;
    backends.push_back(std::move(owned));
    service = std::make_unique<QueuedInputService>(std::move(backends));
  }
  bool Open() {
    return service->Open(&handle, 0, &Holder::Callback, reinterpret_cast<uintptr_t>(&holder),
                         kCallbackFunction) == kNoError &&
           service->Start(handle) == kNoError;
  }
  void Send(const Bytes& bytes) { backend->delivery->Receive(bytes.data(), bytes.size()); }
  void Report(SystemLoss kind, uint64_t events, bool counted = true) {
    backend->delivery->ReportLoss(kind, events, counted);
  }
  // Sends the held note and waits until the input thread holds on it.
  void Hold() {
    Send({0x90, 0x7F, 0x01});
    holder.holding.wait(false, std::memory_order_acquire);
  }
  void Release() {
    holder.release.store(true, std::memory_order_release);
    holder.release.notify_all();
  }
  // Sends note 0x7E ("data 90 7e 00") and waits until the input thread has taken it.
  void Sync() {
    const uint32_t before = holder.synced.load(std::memory_order_acquire);
    Send({0x90, 0x7E, 0x00});
    holder.synced.wait(before, std::memory_order_acquire);
  }
  // Waits until the callback has had `notes` notes in all (when what follows a loss cannot be
  // sent yet: it could arrive before the input thread looked).
  void WaitDelivered(uint32_t notes) {
    for (uint32_t now = holder.delivered.load(std::memory_order_acquire); now < notes;
         now = holder.delivered.load(std::memory_order_acquire)) {
      holder.delivered.wait(now, std::memory_order_acquire);
    }
  }
  // Closes the port for good: the input thread is joined, the tap's lines are complete.
  void Close() {
    service->ForceClose();
    service->SetTap(nullptr);
  }

  OnePortBackend* backend = nullptr;
  std::unique_ptr<QueuedInputService> service;
  Holder holder;
  LineTap tap;
  MidiInHandle handle = 0;
  uint64_t dropped = 0;
};

TEST(RecordedLossesTest, LossesStandWhereTheInputThreadSawThem) {
  constexpr uint32_t kFlood = 100000;  // 3-byte notes: more than the raw queue holds
  struct Case {
    const char* name;
    bool tapFirst;  // the tap is set before the port opens (else while it runs)
    std::function<void(Rig&)> play;
    // "flood": the notes that fitted, then the drop line for the rest.
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"sysex bytes with no buffer queued, after their message",
       true,
       [](Rig& r) {
         r.Send({0x90, 0x40, 0x10});
         r.Send({0xF0, 0x01, 0x02, 0xF7});
         r.Sync();
       },
       {"port JACK: keys", "data 90 40 10", "data f0 01 02 f7", "drop sysex-bytes 4",
        "data 90 7e 00"}},
      {"the raw queue full: the drop after the notes queued before it",
       true,
       [](Rig& r) {
         r.Hold();
         for (uint32_t i = 0; i < kFlood; ++i) r.Send({0x90, 0x10, 0x20});
         r.dropped = r.backend->delivery->counts().messagesDropped;  // the input thread holds
         r.Release();
         r.WaitDelivered(static_cast<uint32_t>(1 + kFlood - r.dropped));
       },
       {"port JACK: keys", "data 90 7f 01", "flood"}},
      {"the system's reports, counted and not, after the message queued when they were seen",
       true,
       [](Rig& r) {
         r.Hold();
         r.Report(SystemLoss::kJackLostEvents, 3);
         r.Send({0x90, 0x11, 0x22});
         r.Report(SystemLoss::kJackXrun, 0, false);
         r.Report(SystemLoss::kJackXrun, 0, false);
         r.Release();
         r.WaitDelivered(2);
       },
       {"port JACK: keys", "data 90 7f 01", "data 90 11 22", "loss jack-lost-events 3",
        "loss jack-xrun -", "loss jack-xrun -"}},
      {"a report while nothing comes is written when the port closes",
       true,
       [](Rig& r) {
         r.Sync();
         r.Report(SystemLoss::kAlsaOverrun, 0, false);
       },
       {"port JACK: keys", "data 90 7e 00", "loss alsa-overrun -"}},
      {"a sender gone while its sysex was open: the cut between the pieces",
       true,
       [](Rig& r) {
         r.Send({0xF0, 0x01, 0x02});
         r.backend->delivery->CloseSysex();
         r.Send({0x03, 0xF7});
         r.Sync();
       },
       // After the cut 03 is a stray data byte, not sysex: only the F7 finds no buffer.
       {"port JACK: keys", "data f0 01 02", "drop sysex-bytes 3", "cut", "data 03 f7",
        "drop sysex-bytes 1", "data 90 7e 00"}},
      {"recording started on the open port: its line first, earlier losses left out",
       false,
       [](Rig& r) {
         r.Report(SystemLoss::kJackReadFailed, 5);
         r.Send({0xF0, 0x7E, 0xF7});
         r.Sync();
         r.service->SetTap(&r.tap);
         r.Send({0x90, 0x13, 0x01});
         r.Sync();
       },
       {"port JACK: keys", "data 90 13 01", "data 90 7e 00"}},
      {"recording stopped on the open port: the losses seen until then, nothing after",
       true,
       [](Rig& r) {
         r.Sync();
         r.Report(SystemLoss::kJackLostEvents, 2);
         r.service->SetTap(nullptr);
         r.Report(SystemLoss::kJackLostEvents, 9);
         r.Sync();
       },
       {"port JACK: keys", "data 90 7e 00", "loss jack-lost-events 2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    if (c.tapFirst) r.service->SetTap(&r.tap);
    ASSERT_TRUE(r.Open());
    c.play(r);
    const uint64_t dropped = r.dropped;
    r.Close();
    std::vector<std::string> expected;
    for (const std::string& line : c.expected) {
      if (line != "flood") {
        expected.push_back(line);
        continue;
      }
      ASSERT_GT(dropped, 0u);
      ASSERT_LT(dropped, kFlood);
      for (uint64_t i = 0; i < kFlood - dropped; ++i) expected.push_back("data 90 10 20");
      expected.push_back("drop messages " + std::to_string(dropped));
    }
    EXPECT_EQ(r.tap.lines.size(), expected.size());
    for (size_t i = 0; i < std::min(expected.size(), r.tap.lines.size()); ++i) {
      if (r.tap.lines[i] != expected[i]) {
        ADD_FAILURE() << "line " << i << ": " << r.tap.lines[i] << ", expected " << expected[i];
        break;
      }
    }
    // Seen after the messages before them, so never stamped before them.
    for (size_t i = 1; i < r.tap.ns.size(); ++i) {
      ASSERT_LE(r.tap.ns[i - 1], r.tap.ns[i]) << "line " << i;
    }
  }
}

}  // namespace
}  // namespace tessaly
