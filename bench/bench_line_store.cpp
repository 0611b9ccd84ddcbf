// The line store behind every list: append throughput for event lines as the drain makes them
// (about 75 bytes), the memory a line costs beyond its text with ten million lines in one list,
// random access to a line, and a drain of 5 000 event lines into a list that already holds ten
// million.
//
//   build-perf/bench/tessaly_bench_line_store
//
// Counters: lines_per_second (append), overhead_bytes_per_line ((MemoryBytes() - text bytes) /
// lines). The drain case's time per iteration is the time for 5 000 lines.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/event_line_samples.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/midi_input_callback.h"
#include "display/event_lines.h"
#include "display/monitor_core.h"
#include "display/output_list.h"

namespace tessaly {
namespace {

constexpr size_t kTenMillion = 10'000'000;

size_t FillList(OutputList& list, size_t lines) {
  const auto& samples = EventLineSamples();
  size_t textBytes = 0;
  for (size_t i = 0; i < lines; ++i) {
    const std::string& line = samples[i & 4095];
    list.AppendLine(std::string_view(line));
    textBytes += line.size();
  }
  return textBytes;
}

// Appends `range(0)` lines to a fresh list; reports lines per second and, for the filled list,
// the bytes per line beyond the text.
void BM_LineStoreAppend(benchmark::State& st) {
  const size_t lines = static_cast<size_t>(st.range(0));
  double overhead = 0;
  double mean = 0;
  for (auto _ : st) {
    st.PauseTiming();
    auto list = std::make_unique<OutputList>("bench");
    st.ResumeTiming();
    const size_t textBytes = FillList(*list, lines);
    st.PauseTiming();
    overhead = static_cast<double>(list->MemoryBytes() - textBytes) / static_cast<double>(lines);
    mean = static_cast<double>(textBytes) / static_cast<double>(lines);
    list.reset();
    st.ResumeTiming();
  }
  st.counters["lines_per_second"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
  st.counters["overhead_bytes_per_line"] = overhead;
  st.counters["text_bytes_per_line"] = mean;
}
BENCHMARK(BM_LineStoreAppend)->Arg(100'000)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);

// One list of ten million lines, built once for the cases below.
OutputList& TenMillionLines() {
  static OutputList* list = [] {
    auto* l = new OutputList("ten million");
    FillList(*l, kTenMillion);
    return l;
  }();
  return *list;
}

// Line(i) at random places in a list of ten million lines.
void BM_LineStoreRandomAccess(benchmark::State& st) {
  const OutputList& list = TenMillionLines();
  std::mt19937_64 random(42);
  std::vector<size_t> at(1 << 16);
  for (size_t& i : at) i = random() % list.Count();
  size_t k = 0;
  size_t sum = 0;
  for (auto _ : st) {
    const std::string_view line = list.Line(at[k++ & 0xFFFF]);
    sum += line.size() + static_cast<unsigned char>(line[0]);
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_LineStoreRandomAccess);

// Line(i) in order, as a view painting or a copy walks the list.
void BM_LineStoreSequentialAccess(benchmark::State& st) {
  const OutputList& list = TenMillionLines();
  size_t i = 0;
  size_t sum = 0;
  for (auto _ : st) {
    const std::string_view line = list.Line(i);
    if (++i == list.Count()) i = 0;
    sum += line.size() + static_cast<unsigned char>(line[0]);
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_LineStoreSequentialAccess);

// 5 000 note events drained through the monitor core into BasicMessageList while it already holds
// ten million lines: ten drains of 500 events (the ring holds 512), statistics redraw and marking
// included; the events are delivered outside the timing. The window's model update and repaint
// are the Qt view's and are measured there.
void BM_DrainFiveThousandOntoTenMillion(benchmark::State& st) {
  FakeMidiInputService service;
  service.SetPorts({"bench"});
  MonitorCore core(service);
  CaptureState& state = core.capture();
  MidiInHandle handle = 0;
  const auto instance = reinterpret_cast<uintptr_t>(&state);
  service.Open(&handle, 0, MidiInputCallback, instance, kCallbackFunction);
  service.Start(handle);
  core.DrainAndDisplay();
  FillList(core.basicMessageList, kTenMillion);
  uint32_t t = 0;
  for (auto _ : st) {
    for (int drain = 0; drain < 10; ++drain) {
      st.PauseTiming();
      for (int i = 0; i < 500; ++i, ++t) {
        MidiInputCallback(handle, MIM_DATA, instance,
                          PackShortMessage(static_cast<uint8_t>(0x90 | (t & 15)), t & 0x7F, 64), t);
      }
      st.ResumeTiming();
      core.DrainAndDisplay();
    }
  }
  st.counters["lines_in_list_millions"] = static_cast<double>(core.basicMessageList.Count()) / 1e6;
  st.SetItemsProcessed(st.iterations() * 5000);
}
BENCHMARK(BM_DrainFiveThousandOntoTenMillion)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
