// The callback's cost per event and the drain's cost per event line.
#include <benchmark/benchmark.h>

#include <memory>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/midi_input_callback.h"
#include "display/monitor_core.h"

namespace tessaly {
namespace {

struct OpenMonitor {
  OpenMonitor() {
    service.SetPorts({"bench"});
    core = std::make_unique<MonitorCore>(service);
    CaptureState& state = core->capture();
    service.Open(&handle, 0, MidiInputCallback, reinterpret_cast<uintptr_t>(&state),
                 kCallbackFunction);
    service.Start(handle);
    state.receiveHeader.data.store(state.receiveBuffer);
    state.receiveHeader.bufferLength.store(kReceiveBufferLength);
    service.PrepareHeader(handle, &state.receiveHeader, kReceiveHeaderSize);
    service.AddBuffer(handle, &state.receiveHeader, kReceiveHeaderSize);
    core->DrainAndDisplay();
  }
  uintptr_t instance() { return reinterpret_cast<uintptr_t>(&core->capture()); }

  FakeMidiInputService service;
  std::unique_ptr<MonitorCore> core;
  MidiInHandle handle = 0;
};

// One short message through the callback (the ring laps freely: the cost is the same).
void BM_CallbackShortMessage(benchmark::State& st) {
  OpenMonitor m;
  const uintptr_t instance = m.instance();
  uint32_t t = 0;
  for (auto _ : st) {
    MidiInputCallback(m.handle, MIM_DATA, instance, PackShortMessage(0x90, t & 0x7F, 100), t);
    ++t;
  }
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_CallbackShortMessage);

// A full 64-byte receive buffer: copied into the queue and queued again (through the fake
// service's header calls). The queue is emptied between batches.
void BM_CallbackReturnedBuffer(benchmark::State& st) {
  OpenMonitor m;
  CaptureState& state = m.core->capture();
  const uintptr_t instance = m.instance();
  const auto header = reinterpret_cast<uintptr_t>(&state.receiveHeader);
  uint32_t n = 0;
  for (auto _ : st) {
    state.receiveHeader.bytesRecorded.store(kReceiveBufferLength, std::memory_order_relaxed);
    MidiInputCallback(m.handle, MIM_LONGDATA, instance, header, n);
    if (++n % 100 == 0) {
      st.PauseTiming();
      ReadSysexQ(
          state.sysexQ, [](const uint8_t*, size_t) {}, [] {});
      st.ResumeTiming();
    }
  }
  st.SetItemsProcessed(st.iterations());
  st.SetBytesProcessed(st.iterations() * kReceiveBufferLength);
}
BENCHMARK(BM_CallbackReturnedBuffer);

// The drain per note-on line: 512 events queued, then one drain takes them all.
void BM_DrainPerEventLine(benchmark::State& st) {
  OpenMonitor m;
  const uintptr_t instance = m.instance();
  uint32_t t = 0;
  for (auto _ : st) {
    st.PauseTiming();
    for (uint32_t i = 0; i < kEventRingSize; ++i, ++t) {
      MidiInputCallback(m.handle, MIM_DATA, instance, PackShortMessage(0x91, t & 0x7F, 64), t);
    }
    if (m.core->basicMessageList.Count() > 1000000) m.core->basicMessageList.Clear();
    st.ResumeTiming();
    m.core->DrainAndDisplay();
  }
  st.SetItemsProcessed(st.iterations() * kEventRingSize);
}
BENCHMARK(BM_DrainPerEventLine);

// The statistics table redrawn with every cell counted (128 numbers of 4 to 7 digits), as after
// a while of mixed traffic; the drain redraws it once whenever it counted something.
void BM_StatisticsRedrawFullTable(benchmark::State& st) {
  FakeMidiInputService service;
  MonitorCore core(service);
  StatusCounters& counters = core.capture().statusCounters;
  StatusStatistics statistics;
  statistics.ResetCheck(counters);
  for (int status = 0x80; status <= 0xFF; ++status) {
    counters.Add(static_cast<uint8_t>(status), 1 + static_cast<uint64_t>(status) * 7919 % 2000000);
  }
  OutputList list("StatisticsList");
  for (auto _ : st) {
    statistics.Count(counters, 0x90);
    statistics.RedrawIfDirty(counters, list);
  }
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_StatisticsRedrawFullTable);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
