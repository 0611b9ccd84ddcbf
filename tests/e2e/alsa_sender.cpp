// A MIDI sender for the end-to-end tests on the kernel's ALSA sequencer (alsa-lib), driven by
// the same commands on standard input as jack_sender.cpp, one per line.
//
//   alsa_sender --name CLIENT [--connect PORT]
//
// Without --connect it offers an output port CLIENT:out for the monitor to subscribe to; with
// it, it also connects that port to the first writable port whose "client:port" names contain
// PORT (the monitor's virtual input port). It prints "ready" once the port exists. Commands:
//
//   send HEX...              one message
//   flood N RATE HEX...      the message N times at RATE per second; prints "sent N dropped D"
//                            (D: messages the kernel refused, the receiver's pool being full)
//   flood N RATE HEX... / K HEX...
//                            the same, but every K-th message is the second one
//   sync                     prints "synced": every event written so far is in the receivers'
//                            queues (events are delivered directly, during the write)
//   die                      ends the process at once, without closing anything
//   quit (or end of input)   closes the client, exits 0
//
// Messages go out as the sequencer carries them: a message that begins with F0 or F7 as
// SYSEX events of at most 256 bytes each (a long one in several, as the kernel's own raw MIDI
// bridge splits it); any other message as the one typed event the MIDI event encoder makes
// of it. What the encoder cannot make one whole event of (data bytes without a status, a
// message cut short) goes out as it is in a SYSEX event: the only event that carries
// arbitrary bytes. Each event is written by itself (no output buffering), so that a refusal
// is counted against exactly its message.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/sender_protocol.h"

namespace {

using tessaly::e2e::Flood;
using Bytes = tessaly::e2e::SentBytes;

constexpr size_t kSysexChunk = 256;

// One message made into events, ready to write again and again (a flood). The SYSEX events
// point into `bytes`, which the object owns.
class Message {
 public:
  Message(Bytes bytes, snd_midi_event_t* encoder, int port) : bytes_(std::move(bytes)) {
    if (bytes_[0] != 0xF0 && bytes_[0] != 0xF7) {
      snd_seq_event_t event;
      snd_seq_ev_clear(&event);
      snd_midi_event_reset_encode(encoder);
      const long used =
          snd_midi_event_encode(encoder, bytes_.data(), static_cast<long>(bytes_.size()), &event);
      if (used == static_cast<long>(bytes_.size()) && event.type != SND_SEQ_EVENT_NONE) {
        Add(event, port);
        return;
      }
    }
    for (size_t at = 0; at < bytes_.size(); at += kSysexChunk) {
      snd_seq_event_t event;
      snd_seq_ev_clear(&event);
      snd_seq_ev_set_sysex(&event, static_cast<unsigned>(std::min(kSysexChunk, bytes_.size() - at)),
                           bytes_.data() + at);
      Add(event, port);
    }
  }

  // Writes every event; false when the kernel refused one (the rest still go).
  bool Send(snd_seq_t* seq) {
    bool all = true;
    for (snd_seq_event_t& event : events_) {
      int result;
      while ((result = snd_seq_event_output_direct(seq, &event)) == -EINTR) {
      }
      if (result < 0) all = false;
    }
    return all;
  }

 private:
  void Add(snd_seq_event_t& event, int port) {
    snd_seq_ev_set_source(&event, port);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    events_.push_back(event);
  }

  Bytes bytes_;
  std::vector<snd_seq_event_t> events_;
};

void SendFlood(snd_seq_t* seq, Flood& flood, snd_midi_event_t* encoder, int port) {
  Message message(std::move(flood.message), encoder, port);
  std::optional<Message> other;  // built in place: its events point into its bytes
  if (flood.every > 0) other.emplace(std::move(flood.other), encoder, port);
  long dropped = 0;
  tessaly::e2e::Paced(flood.count, flood.rate, [&](long i) {
    Message& next = other && (i + 1) % flood.every == 0 ? *other : message;
    if (!next.Send(seq)) ++dropped;
  });
  std::printf("sent %ld dropped %ld\n", flood.count, dropped);
  std::fflush(stdout);
}

// Connects `port` to the first port that takes subscriptions for writing and whose
// "client:port" names contain `pattern`.
bool ConnectTo(snd_seq_t* seq, int port, const std::string& pattern) {
  snd_seq_client_info_t* client;
  snd_seq_port_info_t* info;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&info);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) >= 0) {
    const int id = snd_seq_client_info_get_client(client);
    if (id == snd_seq_client_id(seq)) continue;
    snd_seq_port_info_set_client(info, id);
    snd_seq_port_info_set_port(info, -1);
    while (snd_seq_query_next_port(seq, info) >= 0) {
      const unsigned caps = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
      if ((snd_seq_port_info_get_capability(info) & caps) != caps) continue;
      const std::string name = std::string(snd_seq_client_info_get_name(client)) + ":" +
                               snd_seq_port_info_get_name(info);
      if (name.find(pattern) == std::string::npos) continue;
      return snd_seq_connect_to(seq, port, id, snd_seq_port_info_get_port(info)) >= 0;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  tessaly::e2e::SenderOptions options;
  if (!tessaly::e2e::ParseSenderOptions(argc, argv, "alsa_sender", options)) return 2;
  snd_seq_t* seq = nullptr;
  // Blocking: a write waits for room in our own pool rather than failing.
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) {
    std::fprintf(stderr, "alsa_sender: no ALSA sequencer\n");
    return 1;
  }
  snd_seq_set_client_name(seq, options.name.c_str());
  snd_seq_set_client_pool_output(seq, 2000);  // the kernel's largest; failure only slows us
  const int port =
      snd_seq_create_simple_port(seq, "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  snd_midi_event_t* encoder = nullptr;
  if (port < 0 || snd_midi_event_new(kSysexChunk, &encoder) < 0) {
    std::fprintf(stderr, "alsa_sender: cannot create the port\n");
    return 1;
  }
  if (!options.connect.empty() && !ConnectTo(seq, port, options.connect)) {
    std::fprintf(stderr, "alsa_sender: no input port named like %s\n", options.connect.c_str());
    return 1;
  }
  const int code = tessaly::e2e::ServeSender(
      "alsa_sender", {[&](Bytes& bytes) { Message(std::move(bytes), encoder, port).Send(seq); },
                      [&](Flood& flood) { SendFlood(seq, flood, encoder, port); },
                      // Nothing is buffered (events are delivered directly, during the write); the
                      // drain is kept for queued events.
                      [&] { snd_seq_drain_output(seq); }});
  if (code != 0) return code;
  snd_midi_event_free(encoder);
  snd_seq_close(seq);
  return 0;
}
