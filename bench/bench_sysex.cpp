// Sysex decoding throughput, in MB of sysex per second, for the traffic a device of the family
// sends while it runs: text lines one character per message, text strings, scan dumps, EEPROM
// peek acknowledges, parameter reports and poke requests.
//
//   build-sysex/bench/tessaly_bench_sysex --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "capture/sysex_queue.h"
#include "display/output_list.h"
#include "display/sysex_decoder.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, std::initializer_list<uint8_t> bytes) {
  out.insert(out.end(), bytes);
}

void AppendNibbles(Bytes& out, uint32_t value, int digits) {
  for (int i = 0; i < digits; ++i) out.push_back(static_cast<uint8_t>((value >> (4 * i)) & 0x0F));
}

void AppendValues(Bytes& out, uint32_t seed, int count) {
  for (int i = 0; i < count; ++i) {
    const auto v = static_cast<uint8_t>(seed * 37 + static_cast<uint32_t>(i) * 11);
    out.push_back(v & 0x0F);
    out.push_back(v >> 4);
  }
}

void TextLine(Bytes& out, const std::string& text) {
  for (char c : text) Append(out, {0xF0, 0x09, 0x10, static_cast<uint8_t>(c), 0xF7});
  Append(out, {0xF0, 0x09, 0x10, 0x0D, 0xF7, 0xF0, 0x09, 0x10, 0x0A, 0xF7});
}

void TextString(Bytes& out, const std::string& text) {
  Append(out, {0xF0, 0x09, 0x11});
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0xF7);
}

void ScanDump(Bytes& out, uint32_t seed, int values) {
  Append(out, {0xF0, 0x09, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  AppendValues(out, seed, values);
  out.push_back(0xF7);
}

void Addressed(Bytes& out, uint8_t command, uint32_t address, int values) {
  Append(out, {0xF0, 0x09, command});
  AppendNibbles(out, address, 5);
  AppendNibbles(out, static_cast<uint32_t>(values), 4);
  AppendValues(out, address, values);
  out.push_back(0xF7);
}

void Parameter(Bytes& out, uint32_t parameter, uint32_t value, const std::string& name) {
  Append(out, {0xF0, 0x09, 0x43, static_cast<uint8_t>(parameter & 0x7F),
               static_cast<uint8_t>(parameter >> 7), static_cast<uint8_t>(value & 0x7F),
               static_cast<uint8_t>(value >> 7)});
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0xF7);
}

// About 1 MB of the mix, the kinds interleaved as a running device sends them.
const Bytes& Mix() {
  static const Bytes mix = [] {
    Bytes out;
    for (uint32_t round = 0; out.size() < (1u << 20); ++round) {
      char text[64];
      std::snprintf(text, sizeof text, "scan %u done, %u events", round, round * 7);
      TextLine(out, text);
      TextString(out, "eeprom bank ready");
      ScanDump(out, round, 64);
      Addressed(out, 0x30, 0x01000 + round * 32, 32);
      Addressed(out, 0x30, 0x01000 + round * 32 + 16, 16);
      Parameter(out, round & 0x3FFF, (round * 3) & 0x3FFF, "gain");
      Addressed(out, 0x31, 0x02000 + round, 8);
    }
    return out;
  }();
  return mix;
}

void CountBytes(benchmark::State& state, size_t perIteration) {
  const double bytes = static_cast<double>(perIteration) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

// The decoder alone, the mix handed over in 4 KiB runs.
void BM_SysexDecodeMix(benchmark::State& state) {
  const Bytes& mix = Mix();
  auto list = std::make_unique<OutputList>();
  auto decoder = std::make_unique<SysexDecoder>(*list);
  size_t lines = 0;
  for (auto _ : state) {
    for (size_t at = 0; at < mix.size(); at += 4096) {
      decoder->Consume(mix.data() + at, std::min<size_t>(4096, mix.size() - at));
    }
    state.PauseTiming();
    lines = list->Count();
    list->Clear();
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(lines);
  CountBytes(state, mix.size());
}
BENCHMARK(BM_SysexDecodeMix)->Unit(benchmark::kMillisecond);

// Through the queue as the monitor runs it: the callback's 64-byte buffers up to a full queue,
// then one drain. Both sides run on this thread and both are timed.
void BM_SysexDrainMix(benchmark::State& state) {
  const Bytes& mix = Mix();
  auto queue = std::make_unique<SysexQ>();
  auto list = std::make_unique<OutputList>();
  auto decoder = std::make_unique<SysexDecoder>(*list);
  std::atomic<uint32_t> stopRequest{0};
  for (auto _ : state) {
    size_t at = 0;
    while (at < mix.size()) {
      for (size_t queued = 0; queued < kSysexQSize && at < mix.size(); queued += 64) {
        const size_t n = std::min<size_t>(64, mix.size() - at);
        WriteSysexQ(*queue, mix.data() + at, n);
        at += n;
      }
      decoder->DrainSysexQueue(*queue, stopRequest);
    }
    state.PauseTiming();
    list->Clear();
    state.ResumeTiming();
  }
  if (stopRequest.load() != 0) state.SkipWithError("the queue overflowed");
  CountBytes(state, mix.size());
}
BENCHMARK(BM_SysexDrainMix)->Unit(benchmark::kMillisecond);

// One kind of traffic at a time, to see which costs most.
void BM_SysexDecodeKind(benchmark::State& state) {
  Bytes bytes;
  const auto kind = state.range(0);
  for (uint32_t i = 0; bytes.size() < (1u << 20); ++i) {
    if (kind == 0) TextLine(bytes, "the quick brown fox jumps over");
    if (kind == 1) ScanDump(bytes, i, 256);
    if (kind == 2) Addressed(bytes, 0x30, i, 16);
    if (kind == 3) Parameter(bytes, i & 0x3FFF, 100, "reverb time");
  }
  static const char* const kNames[] = {"text chars", "scan dumps of 256", "peek acks of 16",
                                       "parameters"};
  state.SetLabel(kNames[kind]);
  auto list = std::make_unique<OutputList>();
  auto decoder = std::make_unique<SysexDecoder>(*list);
  for (auto _ : state) {
    decoder->Consume(bytes.data(), bytes.size());
    state.PauseTiming();
    list->Clear();
    state.ResumeTiming();
  }
  CountBytes(state, bytes.size());
}
BENCHMARK(BM_SysexDecodeKind)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
