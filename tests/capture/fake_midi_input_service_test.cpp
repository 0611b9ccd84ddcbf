// The fake service keeps the service's threading contract: callback calls never overlap, from
// whichever thread they come (the driver's Deliver and SendSysex, the window thread's Open,
// Reset and Close), and nothing reaches the callback after MIM_CLOSE or before MIM_OPEN.
#include "capture/fake_midi_input_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "capture/midi_constants.h"

namespace tessaly {
namespace {

// Watches the calls it gets: how many run at once, and which kinds arrive while the handle
// that they name is not open.
struct Watcher {
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<uint64_t> calls{0};
  std::atomic<uint64_t> buffersBack{0};
  // The handle between its MIM_OPEN and its MIM_CLOSE, as the callback saw them.
  std::atomic<MidiInHandle> open{0};
  std::atomic<int> outsideOpen{0};

  static void Callback(MidiInHandle handle, uint32_t kind, uintptr_t instance, uintptr_t,
                       uintptr_t) {
    auto& w = *reinterpret_cast<Watcher*>(instance);
    if (w.inside.fetch_add(1) != 0) w.overlaps.fetch_add(1);
    if (kind == MIM_OPEN) w.open.store(handle);
    if (w.open.load() != handle) w.outsideOpen.fetch_add(1);
    // Long enough for a second caller to walk in, were it let.
    for (int spin = 0; spin < 200; ++spin) std::atomic_signal_fence(std::memory_order_seq_cst);
    if (kind == MIM_LONGDATA) w.buffersBack.fetch_add(1);
    if (kind == MIM_CLOSE) w.open.store(0);
    w.calls.fetch_add(1);
    w.inside.fetch_sub(1);
  }
};

TEST(FakeMidiInputServiceTest, CallbackCallsNeverOverlapAcrossThreads) {
  FakeMidiInputService service;
  service.SetPorts({"Port A", "Port B"});
  Watcher watcher;
  uint8_t buffer[64] = {};
  ReceiveHeader header;
  header.data.store(buffer);
  header.bufferLength.store(sizeof buffer);

  std::atomic<bool> done{false};
  std::atomic<uint64_t> delivered{0};
  std::atomic<bool> started{false};
  std::thread driver([&] {
    started.store(true, std::memory_order_release);
    const uint8_t sysex[] = {0xF0, 0x09, 0x11, 'a', 'b', 0xF7};
    for (uint32_t i = 0; !done.load(std::memory_order_acquire); ++i) {
      if (service.DeliverShort(PackShortMessage(0x90, i & 0x7F, 1), i)) delivered.fetch_add(1);
      service.SendSysex(sysex, sizeof sysex, i);
    }
  });

  // At least this many rounds, and on until the driver has got a fair share of calls in.
  constexpr int kRounds = 2000;
  constexpr uint64_t kDeliveries = 2000;
  while (!started.load(std::memory_order_acquire)) std::this_thread::yield();
  int rounds = 0;
  int closed = 0;
  for (; rounds < kRounds || delivered.load() < kDeliveries; ++rounds) {
    MidiInHandle handle = 0;
    ASSERT_EQ(service.Open(&handle, rounds % 2, &Watcher::Callback,
                           reinterpret_cast<uintptr_t>(&watcher), kCallbackFunction),
              kNoError);
    ASSERT_EQ(service.Start(handle), kNoError);
    // The buffer may be out with the callback at any moment; the header calls answer for it.
    service.PrepareHeader(handle, &header, kReceiveHeaderSize);
    service.AddBuffer(handle, &header, kReceiveHeaderSize);
    ASSERT_EQ(service.Reset(handle), kNoError);
    EXPECT_FALSE(service.BufferQueued());
    if (service.Close(handle) == kNoError) ++closed;
  }
  done.store(true, std::memory_order_release);
  driver.join();

  EXPECT_EQ(closed, rounds);
  EXPECT_EQ(watcher.overlaps.load(), 0);
  EXPECT_EQ(watcher.outsideOpen.load(), 0);
  // Every open and close, every delivered short message and every buffer that came back.
  EXPECT_EQ(watcher.calls.load(),
            2 * uint64_t(rounds) + delivered.load() + watcher.buffersBack.load());
  // Each round queued the buffer once; it came back once, by a sysex end or by the Reset.
  EXPECT_EQ(watcher.buffersBack.load(), uint64_t(rounds));
}

void IgnoreCall(MidiInHandle, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}

// An injected result stands for the call whatever its value: an injected 0 does not close a
// port that is open, nor deliver MIM_CLOSE on one that never was.
TEST(FakeMidiInputServiceTest, InjectedResultOfZeroDoesNothingElse) {
  using Call = FakeMidiInputService::Call;
  FakeMidiInputService service;
  service.SetPorts({"p"});
  service.FailCall(Call::kClose, kNoError);
  EXPECT_EQ(service.Close(0), kNoError);  // never opened: must not call a callback

  MidiInHandle handle = 0;
  service.FailCall(Call::kOpen, kNoError);
  EXPECT_EQ(service.Open(&handle, 0, IgnoreCall, 0, kCallbackFunction), kNoError);
  EXPECT_FALSE(service.IsOpen());
  ASSERT_EQ(service.Open(&handle, 0, IgnoreCall, 0, kCallbackFunction), kNoError);
  service.FailCall(Call::kClose, kNoError);
  EXPECT_EQ(service.Close(handle), kNoError);
  EXPECT_TRUE(service.IsOpen());

  ReceiveHeader header;
  uint8_t bytes[4] = {};
  header.data.store(bytes);
  header.bufferLength.store(sizeof bytes);
  service.FailCall(Call::kAddBuffer, kNoError);
  EXPECT_EQ(service.AddBuffer(handle, &header, kReceiveHeaderSize), kNoError);  // unprepared
  EXPECT_FALSE(service.BufferQueued());
  EXPECT_EQ(service.Close(handle), kNoError);
  EXPECT_FALSE(service.IsOpen());
}

}  // namespace
}  // namespace tessaly
