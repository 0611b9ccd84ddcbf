// The console front end's cost per event line: the drain with the console writer following the
// lists (format, list, escape, write), and the escaping alone.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/midi_input_callback.h"
#include "display/monitor_core.h"
#include "shell/console_escape.h"
#include "shell/console_frontend.h"

namespace tessaly {
namespace {

// The drain per note-on line as `tessaly --console` runs it: 512 events queued, one drain takes
// them all, every line goes through the writer to /dev/null, flushed after the drain.
void BM_ConsoleDrainPerEventLine(benchmark::State& st) {
  FakeMidiInputService service;
  service.SetPorts({"bench"});
  MonitorCore core(service);
  std::FILE* out = std::fopen("/dev/null", "w");
  if (out == nullptr) {
    st.SkipWithError("no /dev/null");
    return;
  }
  {
    ConsoleWriter writer(out);
    writer.Follow(core.messageBoxList, "msg");
    writer.Follow(core.basicMessageList, "midi");
    writer.Follow(core.sysexList, "sysex");
    CaptureState& state = core.capture();
    MidiInHandle handle = 0;
    service.Open(&handle, 0, MidiInputCallback, reinterpret_cast<uintptr_t>(&state),
                 kCallbackFunction);
    service.Start(handle);
    core.DrainAndDisplay();
    writer.Flush();
    const auto instance = reinterpret_cast<uintptr_t>(&state);
    uint32_t t = 0;
    for (auto _ : st) {
      st.PauseTiming();
      for (uint32_t i = 0; i < kEventRingSize; ++i, ++t) {
        MidiInputCallback(handle, MIM_DATA, instance, PackShortMessage(0x90, 0x3C, 100), t);
      }
      if (core.basicMessageList.Count() > 1000000) core.basicMessageList.Clear();
      st.ResumeTiming();
      core.DrainAndDisplay();
      writer.Flush();
    }
    st.SetItemsProcessed(st.iterations() * kEventRingSize);
  }
  std::fclose(out);
}
BENCHMARK(BM_ConsoleDrainPerEventLine);

// The escaping of one note-on line as the console writes it.
void BM_ConsoleEscapeEventLine(benchmark::State& st) {
  const std::string line = " Time.0..00:01:02.345- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ";
  std::string out;
  for (auto _ : st) {
    out.assign("midi\t");
    AppendEscaped(line, out);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetItemsProcessed(st.iterations());
  st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_ConsoleEscapeEventLine);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
