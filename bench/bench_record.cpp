// What a recording costs per event: the copy the service's input thread pushes, and the
// recorder's own thread formatting and writing the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "capture/capture_file_writer.h"
#include "capture/recorder.h"

namespace tessaly {
namespace {

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
// The process's CPU time less this thread's: the recorder's own thread.
double OtherThreadsCpuSeconds() {
  return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

std::string BenchPath(const char* ending) {
  const char* dir = std::getenv("TESSALY_BENCH_RECORD_DIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/tessaly-bench-" + std::to_string(getpid()) +
         ending;
}

constexpr uint8_t kNote[3] = {0x90, 0x3C, 0x64};
constexpr int64_t kStartNs = 1'000'000'000'000;

// The notes' times on the millisecond grid the service stamps: at 100 000 events/s a hundred
// notes share each time.
int64_t NoteNs(int i) {
  return kStartNs + int64_t{i / 100} * 1'000'000;
}

// The recorder's own thread, per event: formatting and writing 200 000 note-ons, pushed in
// bursts of 1 000 every 10 ms (100 000 events/s, as in the end-to-end figures). Argument: 0 a
// capture log, 1 an SMF. The file goes where TESSALY_BENCH_RECORD_DIR says (/tmp by default):
// the file system's cost is part of the figure.
void BM_RecorderThread(benchmark::State& st) {
  const std::string path = BenchPath(st.range(0) == 1 ? ".mid" : ".txt");
  constexpr int kEvents = 200000;
  constexpr int kBurst = 1000;
  double ns = 0;
  for (auto _ : st) {
    std::string error;
    const double before = OtherThreadsCpuSeconds();
    auto recorder = Recorder::Start(path, error);
    if (!recorder) {
      st.SkipWithError(error.c_str());
      return;
    }
    recorder->PortOpened("bench");
    recorder->InputStarted(kStartNs);
    for (int i = 0; i < kEvents; ++i) {
      recorder->Delivered(NoteNs(i), kNote, sizeof kNote);
      if (i % kBurst == kBurst - 1) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string line = recorder->Stop();
    ns += (OtherThreadsCpuSeconds() - before) * 1e9;
    // The capture log counts the port's line as an event; SMF leaves it out.
    const int expected = st.range(0) == 0 ? kEvents + 1 : kEvents;
    if (line.find(std::to_string(expected) + " events") == std::string::npos) {
      st.SkipWithError(("recording incomplete: " + line).c_str());
    }
  }
  unlink(path.c_str());
  st.counters["thread_ns_per_event"] =
      benchmark::Counter(ns / kEvents, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RecorderThread)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// What the service's input thread pays per event: the copy into the recorder's queue (40 000
// notes, well inside the queue, then the recording is stopped outside the timing).
void BM_RecorderPush(benchmark::State& st) {
  const std::string path = BenchPath(".txt");
  constexpr int kEvents = 40000;
  for (auto _ : st) {
    st.PauseTiming();
    std::string error;
    auto recorder = Recorder::Start(path, error);
    if (!recorder) {
      st.SkipWithError(error.c_str());
      return;
    }
    st.ResumeTiming();
    for (int i = 0; i < kEvents; ++i) recorder->Delivered(NoteNs(i), kNote, sizeof kNote);
    st.PauseTiming();
    recorder->Stop();
    st.ResumeTiming();
  }
  unlink(path.c_str());
  st.SetItemsProcessed(st.iterations() * kEvents);
}
BENCHMARK(BM_RecorderPush);

// The recorder thread's formatting alone, per event: a writer appending notes on the
// service's grid to a buffer written out (here: cleared) every 64 KiB. Argument as above.
void BM_CaptureFileWriterAppend(benchmark::State& st) {
  auto writer = MakeCaptureFileWriter(st.range(0) == 1 ? "bench.mid" : "bench.txt");
  std::string out;
  out.reserve(size_t{1} << 17);
  writer->Begin(out);
  CaptureEvent event;
  event.bytes = kNote;
  int i = 0;
  for (auto _ : st) {
    event.ns = NoteNs(i++);
    writer->Append(event, out);
    if (out.size() >= (size_t{1} << 16)) out.clear();
  }
  benchmark::DoNotOptimize(out.data());
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_CaptureFileWriterAppend)->Arg(0)->Arg(1);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
