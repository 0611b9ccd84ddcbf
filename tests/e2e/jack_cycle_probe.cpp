// A JACK receiver that records, in every cycle, each signal a receiving client can read: for
// finding whether a server says anything when it drops a cycle's MIDI (scripts/
// pipewire-burst-signals, with jack_burst as the sender).
//
//   jack_cycle_probe SOURCE_PORT SECONDS
//
// Opens CLIENT "probe" with one MIDI input, connects SOURCE_PORT to it, prints "ready", records
// for SECONDS, then prints one line per cycle (fields NAME=VALUE, in this order):
//   frame     jack_last_frame_time        step   its step from the cycle before
//   usecs     µs since the cycle before, from jack_get_cycle_times    period  its period (µs)
//   late      jack_frame_time - jack_last_frame_time, in the callback
//   events    jack_midi_get_event_count   lost   jack_midi_get_lost_event_count
//   room      jack_midi_max_event_size (the buffer's space left)
//   capture, playback   the port's latency ranges (min..max)   total  jack_port_get_total_latency
//   delayed   jack_get_xrun_delayed_usecs  maxdelayed  jack_get_max_delayed_usecs
//   load      jack_cpu_load
//   xruns, latencycb, graphcb, buffercb   calls of those callbacks so far
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/statistics.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

struct Cycle {
  jack_nframes_t frame, frames;
  jack_time_t usecs;
  float period;
  jack_nframes_t late;
  uint32_t events, lost;
  size_t room;
  jack_latency_range_t capture, playback;
  jack_nframes_t total;
  float delayed, maxDelayed, load;
  int xruns, latencyCalls, graphCalls, bufferCalls;
};

constexpr int kMaxCycles = 1 << 16;
Cycle cycles[kMaxCycles];
std::atomic<int> recorded{0};
jack_client_t* client = nullptr;
jack_port_t* input = nullptr;
std::atomic<int> xruns{0}, latencyCalls{0}, graphCalls{0}, bufferCalls{0};

int Process(jack_nframes_t frames, void*) {
  const int i = recorded.load(std::memory_order_relaxed);
  if (i >= kMaxCycles) return 0;
  Cycle& c = cycles[i];
  c.frame = jack_last_frame_time(client);
  c.late = jack_frame_time(client) - c.frame;
  jack_nframes_t currentFrames = 0;
  jack_time_t next = 0;
  jack_get_cycle_times(client, &currentFrames, &c.usecs, &next, &c.period);
  c.frames = frames;
  void* buffer = jack_port_get_buffer(input, frames);
  c.events = jack_midi_get_event_count(buffer);
  c.lost = jack_midi_get_lost_event_count(buffer);
  c.room = jack_midi_max_event_size(buffer);
  jack_port_get_latency_range(input, JackCaptureLatency, &c.capture);
  jack_port_get_latency_range(input, JackPlaybackLatency, &c.playback);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // old, but a server may still fill it
  c.total = jack_port_get_total_latency(client, input);
#pragma GCC diagnostic pop
  c.delayed = jack_get_xrun_delayed_usecs(client);
  c.maxDelayed = jack_get_max_delayed_usecs(client);
  c.load = jack_cpu_load(client);
  c.xruns = xruns.load(std::memory_order_relaxed);
  c.latencyCalls = latencyCalls.load(std::memory_order_relaxed);
  c.graphCalls = graphCalls.load(std::memory_order_relaxed);
  c.bufferCalls = bufferCalls.load(std::memory_order_relaxed);
  recorded.store(i + 1, std::memory_order_release);  // release: the row is complete
  return 0;
}

int Xrun(void*) {
  xruns.fetch_add(1, std::memory_order_relaxed);
  return 0;
}
void Latency(jack_latency_callback_mode_t, void*) {
  latencyCalls.fetch_add(1, std::memory_order_relaxed);
}
int Graph(void*) {
  graphCalls.fetch_add(1, std::memory_order_relaxed);
  return 0;
}
int Buffer(jack_nframes_t, void*) {
  bufferCalls.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: jack_cycle_probe SOURCE_PORT SECONDS\n");
    return 2;
  }
  client = jack_client_open("probe", JackNoStartServer, nullptr);
  if (client == nullptr) {
    std::fprintf(stderr, "jack_cycle_probe: no JACK server\n");
    return 1;
  }
  input = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (input == nullptr || jack_set_process_callback(client, Process, nullptr) != 0) {
    std::fprintf(stderr, "jack_cycle_probe: cannot make the port\n");
    return 1;
  }
  jack_set_xrun_callback(client, Xrun, nullptr);
  jack_set_latency_callback(client, Latency, nullptr);
  jack_set_graph_order_callback(client, Graph, nullptr);
  jack_set_buffer_size_callback(client, Buffer, nullptr);
  if (jack_activate(client) != 0 || jack_connect(client, argv[1], jack_port_name(input)) != 0) {
    std::fprintf(stderr, "jack_cycle_probe: cannot connect %s\n", argv[1]);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[2])));
  jack_deactivate(client);
  const int n = recorded.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    const Cycle& c = cycles[i];
    const Cycle& before = cycles[i > 0 ? i - 1 : 0];
    std::printf(
        "frame=%u step=%ld usecs=%lld period=%.0f late=%u events=%u lost=%u room=%zu "
        "capture=%u..%u playback=%u..%u total=%u delayed=%.0f maxdelayed=%.0f load=%.2f "
        "xruns=%d latencycb=%d graphcb=%d buffercb=%d\n",
        c.frame, i > 0 ? static_cast<long>(c.frame) - static_cast<long>(before.frame) : 0L,
        i > 0 ? static_cast<long long>(c.usecs - before.usecs) : 0LL, c.period, c.late, c.events,
        c.lost, c.room, c.capture.min, c.capture.max, c.playback.min, c.playback.max, c.total,
        c.delayed, c.maxDelayed, c.load, c.xruns, c.latencyCalls, c.graphCalls, c.bufferCalls);
  }
  jack_client_close(client);
  return 0;
}
