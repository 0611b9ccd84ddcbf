// The window's share of a drain: the list view over BasicMessageList taking up 5 000 new event
// lines (model row insert, column width, scroll to the newest line) and painting them, with ten
// million, one million and no lines already in the list; and the statistics view taking up the
// table the drain clears and refills.
//
//   QT_QPA_PLATFORM=offscreen build-bench/bench/tessaly_bench_window
//
// One iteration of BM_WindowDrain5000 is what the window thread does for a flood of 5 000 short
// events: ten drains of 500 (the ring holds 512, and in a flood the early drains take it up as it
// fills), then one view Sync and one synchronous repaint of the viewport (the dialog takes up the
// views at most once a timer period, however many drains came in between), then the posted events
// that are left (deferred layout, a second paint if one was asked for). The events are delivered
// through the fake service's callback outside the timing, as the driver thread would. Times are
// wall time (the window thread waits for nothing, so wall and CPU differ only by the machine's
// load); 50 iterations per case, so a list of ten million grows by 250 000 lines at most.
//
// Counters, per iteration: drain_ms, sync_ms (model update, column width, scroll), repaint_ms,
// events_ms (posted events after the repaint), paints (paint events the viewport received);
// slowest_ms (the slowest iteration: a drain that starts a fresh 2 MiB page of the line store
// pays for the kernel zeroing it, and a busy machine adds its own pauses), lines_in_list (at the
// end), following (1 while the view still shows its newest line).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QScrollBar>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/event_line_samples.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/midi_input_callback.h"
#include "display/event_lines.h"
#include "display/filter_set.h"
#include "display/monitor_core.h"
#include "display/output_list.h"
#include "shell/output_list_view.h"
#include "tests/support/paint_counter.h"

namespace tessaly {
namespace {

using test::PaintCounter;

constexpr int kViewWidth = 800;
constexpr int kViewHeight = 600;
constexpr int kEventsPerFlood = 5000;
constexpr int kEventsPerDrain = 500;

void FillList(OutputList& list, size_t lines) {
  const auto& samples = EventLineSamples();
  for (size_t i = 0; i < lines; ++i) list.AppendLine(std::string_view(samples[i & 4095]));
}

// The monitor core on the fake service with port 0 open and started, as after the window opens.
struct OpenMonitor {
  OpenMonitor() {
    service.SetPorts({"bench"});
    core = std::make_unique<MonitorCore>(service);
    service.Open(&handle, 0, MidiInputCallback, reinterpret_cast<uintptr_t>(&core->capture()),
                 kCallbackFunction);
    service.Start(handle);
    // The first drain zeroes the statistics; a list filled after it is shown from its start.
    core->DrainAndDisplay();
  }

  // The driver thread's share, outside the timing: `n` short messages through the callback.
  void Deliver(int n, uint8_t status) {
    for (int i = 0; i < n; ++i, ++timeStamp) {
      service.DeliverShort(
          PackShortMessage(static_cast<uint8_t>(status | (timeStamp & 15)), timeStamp & 0x7F, 64),
          timeStamp);
    }
  }

  FakeMidiInputService service;
  std::unique_ptr<MonitorCore> core;
  MidiInHandle handle = 0;
  uint32_t timeStamp = 0;
};

// A view over `list`, shown offscreen at 800x600, following its newest line.
std::unique_ptr<OutputListView> ShowView(const OutputList& list, benchmark::State& st) {
  auto view = std::make_unique<OutputListView>(list);
  view->resize(kViewWidth, kViewHeight);
  view->show();
  for (int i = 0; i < 100 && !(view->windowHandle() && view->windowHandle()->isExposed()); ++i) {
    QApplication::processEvents();
  }
  view->Sync();
  QApplication::processEvents();
  if (!view->windowHandle() || !view->windowHandle()->isExposed()) {
    st.SkipWithError("the view was not exposed");
  }
  return view;
}

// Resident memory of this process in bytes, from /proc (0 where there is none).
double ResidentBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  unsigned long size = 0, resident = 0;
  const int read = std::fscanf(statm, "%lu %lu", &size, &resident);
  std::fclose(statm);
  return read == 2 ? static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) : 0;
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The timed parts of the iterations, in milliseconds.
struct PartTimes {
  double drain = 0;
  double sync = 0;
  double repaint = 0;
  double events = 0;
};

// The view's share of one update, timed part by part: its Sync, a repaint and the posted
// events. Returns the milliseconds of all three.
double UpdateView(OutputListView& view, PartTimes& times) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  view.Sync();
  const Clock::time_point synced = Clock::now();
  view.viewport()->repaint();
  const Clock::time_point painted = Clock::now();
  QApplication::processEvents();
  const Clock::time_point done = Clock::now();
  times.sync += Milliseconds(synced - start);
  times.repaint += Milliseconds(painted - synced);
  times.events += Milliseconds(done - painted);
  return Milliseconds(done - start);
}

// Adds the per-iteration counters of the timed parts.
void SetPartCounters(benchmark::State& st, const PartTimes& times, int paints) {
  const auto perIteration = benchmark::Counter::kAvgIterations;
  st.counters["drain_ms"] = benchmark::Counter(times.drain, perIteration);
  st.counters["sync_ms"] = benchmark::Counter(times.sync, perIteration);
  st.counters["repaint_ms"] = benchmark::Counter(times.repaint, perIteration);
  st.counters["events_ms"] = benchmark::Counter(times.events, perIteration);
  st.counters["paints"] = benchmark::Counter(paints, perIteration);
}

// 5 000 event lines onto a list of range(0) lines, through the drain, the view's Sync and a
// repaint.
void BM_WindowDrain5000(benchmark::State& st) {
  OpenMonitor m;
  OutputList& list = m.core->basicMessageList;
  FillList(list, static_cast<size_t>(st.range(0)));
  m.core->DrainAndDisplay();  // marks the last filled line as newest
  // What the view adds to the list's own memory (it should keep nothing per row).
  const double beforeView = ResidentBytes();
  const std::unique_ptr<OutputListView> view = ShowView(list, st);
  const double viewBytes = ResidentBytes() - beforeView;
  PaintCounter counter;
  view->viewport()->installEventFilter(&counter);

  using Clock = std::chrono::steady_clock;
  PartTimes times;
  double slowest = 0;
  for (auto _ : st) {
    double drained = 0;
    for (int d = 0; d < kEventsPerFlood / kEventsPerDrain; ++d) {
      st.PauseTiming();
      m.Deliver(kEventsPerDrain, 0x90);
      st.ResumeTiming();
      const Clock::time_point start = Clock::now();
      m.core->DrainAndDisplay();
      drained += Milliseconds(Clock::now() - start);
    }
    const double updated = UpdateView(*view, times);
    times.drain += drained;
    slowest = std::max(slowest, drained + updated);
  }
  view->viewport()->removeEventFilter(&counter);

  const QScrollBar* bar = view->verticalScrollBar();
  if (!view->Following() || bar->value() != bar->maximum()) {
    st.SkipWithError("the view stopped following its newest line");
  }
  if (view->RowCount() != static_cast<int>(list.Count())) {
    st.SkipWithError("the view does not show every line");
  }
  SetPartCounters(st, times, counter.paints);
  st.counters["slowest_ms"] = slowest;
  st.counters["lines_in_list"] = static_cast<double>(list.Count());
  if (st.range(0) > 0) st.counters["view_bytes_per_line"] = viewBytes / double(st.range(0));
  st.counters["following"] = view->Following() ? 1 : 0;
  st.SetItemsProcessed(st.iterations() * kEventsPerFlood);
}
BENCHMARK(BM_WindowDrain5000)
    ->Arg(10'000'000)
    ->Arg(1'000'000)
    ->Arg(0)
    ->Iterations(50)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The statistics table, which every drain that counted something clears and refills, through
// its view: each iteration drains 16 note-ons (hidden from BasicMessageList by the filters, so
// only the table changes), then the statistics view's Sync, a repaint and the posted events.
// Every cell of the table holds a count of 4 to 7 digits, as after a while of mixed traffic.
void BM_WindowStatisticsRedraw(benchmark::State& st) {
  OpenMonitor m;
  StatusCounters& counters = m.core->capture().statusCounters;
  for (int status = 0x80; status <= 0xFF; ++status) {
    counters.Add(static_cast<uint8_t>(status), 1 + static_cast<uint64_t>(status) * 7919 % 2000000);
  }
  for (FilterId id : {FilterId::kKeyOff, FilterId::kKeyOn, FilterId::kVelocityZeroKeyOff,
                      FilterId::kKeyPressure, FilterId::kControlChange, FilterId::kProgramChange,
                      FilterId::kChannelPressure, FilterId::kPitchBend}) {
    m.core->ToggleFilter(id);
  }
  m.Deliver(16, 0x90);
  m.core->DrainAndDisplay();
  const OutputList& list = m.core->statisticsList;
  const std::unique_ptr<OutputListView> view = ShowView(list, st);
  PaintCounter counter;
  view->viewport()->installEventFilter(&counter);

  using Clock = std::chrono::steady_clock;
  PartTimes times;
  for (auto _ : st) {
    st.PauseTiming();
    m.Deliver(16, 0x90);
    st.ResumeTiming();
    const Clock::time_point start = Clock::now();
    m.core->DrainAndDisplay();
    times.drain += Milliseconds(Clock::now() - start);
    UpdateView(*view, times);
  }
  view->viewport()->removeEventFilter(&counter);

  if (m.core->basicMessageList.Count() != 0) st.SkipWithError("the filters let lines through");
  SetPartCounters(st, times, counter.paints);
  st.counters["lines_in_list"] = static_cast<double>(list.Count());
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_WindowStatisticsRedraw)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  // No desktop needed, and none opened: the views paint into an offscreen backing store.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt takes its own arguments first; the rest are the benchmark's.
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
