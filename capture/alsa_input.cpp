#include "capture/alsa_input.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "capture/alsa_event_bytes.h"
#include "capture/alsa_presence.h"
#include "capture/event_fd.h"

namespace tessaly {
namespace {

constexpr const char* kClientName = "Tessaly";
constexpr const char* kInputPortName = "input";
// The kernel's largest input pool (SNDRV_SEQ_MAX_CLIENT_EVENT_CELLS).
constexpr int kInputPool = 2000;
// alsa-lib's read buffer: a read takes every event the FIFO holds (a full pool of sysex
// cells is about 56 KiB), so the FIFO empties at each wake-up.
constexpr size_t kInputBuffer = 256 * 1024;
// After a read that found events, the reader sleeps (on its stop descriptor alone) and lets
// the next ones gather in the kernel's FIFO: one wake-up and one read for what came meanwhile,
// not a poll and a read for each event (a stream of 1 000 events/s woke the thread for every
// one of them, and that was most of the monitor's CPU). The kernel's stamps keep each event's
// own time. The first gathering after a quiet spell is short and each next one twice as long,
// up to kGatherMaxUs, so that a burst that starts at full speed shows its pace before the
// reader sleeps long on it.
constexpr long kGatherFirstUs = 250;
constexpr long kGatherMaxUs = 4000;
// A read that took this many of the pool's cells (a note-on takes one, a 256-byte sysex
// chunk eleven): the FIFO fills fast, the reads batch by themselves, and the next read comes
// as soon as there is more, so that gathering never lets the FIFO overflow.
constexpr int kGatherBelowCells = kInputPool / 8;
// Events read are handed to the input thread in batches: when a gathering found nothing (the
// sequencer was quiet meanwhile), or this many are waiting. One wake-up of the input thread
// per event cost more than the reading itself.
constexpr int kBatchLimit = 32;

class AlsaInput : public InputSource {
 public:
  AlsaInput(int client, int port, InputDelivery& delivery)
      : client_(client), port_(port), delivery_(delivery) {}
  AlsaInput(const AlsaInput&) = delete;
  AlsaInput& operator=(const AlsaInput&) = delete;

  ~AlsaInput() override {
    if (thread_.joinable()) {
      stop_.Post();
      thread_.join();
    }
    if (seq_ != nullptr) snd_seq_close(seq_);
  }

  MidiResult Open() {
    if (!AlsaSequencerAvailable()) return kNoDriver;
    if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
      seq_ = nullptr;
      return kNoDriver;
    }
    snd_seq_set_client_name(seq_, kClientName);
    // Failures here leave the defaults: smaller, but input still works.
    snd_seq_set_client_pool_input(seq_, kInputPool);
    snd_seq_set_input_buffer_size(seq_, kInputBuffer);
    self_ = snd_seq_client_id(seq_);
    queue_ = snd_seq_alloc_named_queue(seq_, kClientName);
    if (queue_ < 0) return kNotEnabled;
    if (snd_seq_start_queue(seq_, queue_, nullptr) < 0 || snd_seq_drain_output(seq_) < 0) {
      return kNotEnabled;
    }
    if (!CreatePorts()) return kNotEnabled;
    // The announce port tells of ports and clients that come and go.
    if (snd_seq_connect_from(seq_, announcePort_, SND_SEQ_CLIENT_SYSTEM,
                             SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
      return kNotEnabled;
    }
    Calibrate();
    if (client_ >= 0) {
      const MidiResult subscribed = Subscribe();
      if (subscribed != kNoError) return subscribed;
    }
    if (stop_.fd() < 0) return kNoMemory;
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      return kNoMemory;
    }
    return Health();
  }

  MidiResult Health() override {
    // acquire: a flag set by the reader thread; nothing else is read after it.
    return gone_.load(std::memory_order_acquire) ? kSourceGone : kNoError;
  }

 private:
  bool CreatePorts() {
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    snd_seq_port_info_set_type(info,
                               SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_seq_port_info_set_capability(info, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    snd_seq_port_info_set_name(info, client_ < 0 ? kVirtualPortName : kInputPortName);
    // Stamps for subscriptions that other programs make to our virtual port.
    snd_seq_port_info_set_timestamping(info, 1);
    snd_seq_port_info_set_timestamp_real(info, 1);
    snd_seq_port_info_set_timestamp_queue(info, queue_);
    if (snd_seq_create_port(seq_, info) < 0) return false;
    inputPort_ = snd_seq_port_info_get_port(info);
    // Hidden: only the system connects to it.
    announcePort_ = snd_seq_create_simple_port(seq_, "announce",
                                               SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                               SND_SEQ_PORT_TYPE_APPLICATION);
    return announcePort_ >= 0;
  }

  MidiResult Subscribe() {
    snd_seq_port_subscribe_t* subs;
    snd_seq_port_subscribe_alloca(&subs);
    const snd_seq_addr_t sender{static_cast<unsigned char>(client_),
                                static_cast<unsigned char>(port_)};
    const snd_seq_addr_t dest{static_cast<unsigned char>(self_),
                              static_cast<unsigned char>(inputPort_)};
    snd_seq_port_subscribe_set_sender(subs, &sender);
    snd_seq_port_subscribe_set_dest(subs, &dest);
    snd_seq_port_subscribe_set_queue(subs, queue_);
    snd_seq_port_subscribe_set_time_update(subs, 1);
    snd_seq_port_subscribe_set_time_real(subs, 1);
    const int result = snd_seq_subscribe_port(seq_, subs);
    if (result == 0 || result == -EBUSY) return kNoError;
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    return snd_seq_get_any_port_info(seq_, client_, port_, info) < 0 ? kSourceGone : kNotEnabled;
  }

  // The queue's real time runs from its start; its offset to the monotonic clock maps the
  // kernel's stamps onto the delivery's.
  void Calibrate() {
    snd_seq_queue_status_t* status;
    snd_seq_queue_status_alloca(&status);
    const int64_t before = InputDelivery::NowNs();
    if (snd_seq_get_queue_status(seq_, queue_, status) < 0) return;
    const int64_t after = InputDelivery::NowNs();
    const snd_seq_real_time_t* real = snd_seq_queue_status_get_real_time(status);
    offsetNs_ = before + (after - before) / 2 -
                (static_cast<int64_t>(real->tv_sec) * 1000000000 + real->tv_nsec);
    calibrated_ = true;
  }

  int64_t StampOf(const snd_seq_event_t& ev) const {
    if (calibrated_ && (ev.flags & SND_SEQ_TIME_STAMP_MASK) == SND_SEQ_TIME_STAMP_REAL &&
        ev.queue == queue_) {
      return offsetNs_ + static_cast<int64_t>(ev.time.time.tv_sec) * 1000000000 +
             ev.time.time.tv_nsec;
    }
    return InputDelivery::NowNs();
  }

  bool IsSource(const snd_seq_addr_t& addr) const {
    return addr.client == client_ && addr.port == port_;
  }

  // Reader thread: an announcement about our source.
  void Announced(const snd_seq_event_t& ev) {
    if (client_ < 0) return;
    bool gone = false;
    switch (ev.type) {
      case SND_SEQ_EVENT_PORT_EXIT:
        gone = IsSource(ev.data.addr);
        break;
      case SND_SEQ_EVENT_CLIENT_EXIT:
        gone = ev.data.addr.client == client_;
        break;
      case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
        gone = IsSource(ev.data.connect.sender) && ev.data.connect.dest.client == self_ &&
               ev.data.connect.dest.port == inputPort_;
        break;
      default:
        break;
    }
    if (!gone) return;
    // release: a flag only (see Health).
    gone_.store(true, std::memory_order_release);
    // A sysex message it left open ends cut short here: the kernel queued this announcement
    // behind every event the source sent before it.
    delivery_.CloseSysex();
  }

  // Reader thread: takes every pending event, lets more gather, and waits in poll once the
  // sequencer is quiet.
  void Run() {
    const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
    std::vector<pollfd> fds(static_cast<size_t>(count) + 1);
    snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned>(count), POLLIN);
    fds[static_cast<size_t>(count)] = {stop_.fd(), POLLIN, 0};
    pollfd& stop = fds.back();
    // Named for the per-thread figures (tests/e2e/alsa_figures.sh); a name that does not take
    // changes nothing else.
    pthread_setname_np(pthread_self(), "alsa-reader");
    int held = 0;       // handed over but not yet delivered
    long gatherUs = 0;  // the last gathering's length; 0 after a quiet spell or a full read
    for (;;) {
      const int cells = TakePending(held);
      // Nothing came while the last events gathered: the sequencer is quiet, hand them over.
      if (cells == 0 && held > 0) {
        delivery_.Deliver();
        held = 0;
      }
      const bool gather = cells > 0 && cells < kGatherBelowCells;
      gatherUs = !gather         ? 0
                 : gatherUs == 0 ? kGatherFirstUs
                                 : std::min(2 * gatherUs, kGatherMaxUs);
      for (pollfd& fd : fds) fd.revents = 0;
      int ready = 0;
      if (gather) {
        const timespec wait{0, gatherUs * 1000};
        ready = ppoll(&stop, 1, &wait, nullptr);
      } else {
        ready = poll(fds.data(), fds.size(), held > 0 ? kGatherMaxUs / 1000 : -1);
      }
      if (stop.revents != 0 || (ready < 0 && errno != EINTR)) {
        if (held > 0) delivery_.Deliver();
        return;
      }
    }
  }

  // The pool's cells an event took in our FIFO: one, and its variable data in cells of the
  // event's size.
  static int CellsOf(const snd_seq_event_t& ev) {
    if ((ev.flags & SND_SEQ_EVENT_LENGTH_MASK) != SND_SEQ_EVENT_LENGTH_VARIABLE) return 1;
    constexpr size_t kCell = sizeof(snd_seq_event_t);
    return 1 + static_cast<int>((size_t{ev.data.ext.len} + kCell - 1) / kCell);
  }

  // Reader thread: every event pending now, handed over (`held` counts those not yet
  // delivered). Returns the pool's cells they took: kGatherBelowCells at least after an
  // overrun, so that the next read comes at once.
  int TakePending(int& held) {
    int cells = 0;
    for (;;) {
      snd_seq_event_t* ev = nullptr;
      const int result = snd_seq_event_input(seq_, &ev);
      if (result == -EAGAIN) break;
      if (result == -ENOSPC) {
        // The kernel flushed our FIFO: what it held and what it refused are gone, and it
        // does not say how many.
        delivery_.ReportLoss(SystemLoss::kAlsaOverrun, 0, /*counted=*/false);
        // A sysex whose middle was flushed must not be glued to its rest: the chunks up to
        // the next message are dropped, and the part before ends as cut short.
        overrunFilter_.Overrun();
        cells = std::max(cells, kGatherBelowCells);
        continue;
      }
      if (result < 0 || ev == nullptr) break;
      cells = std::min(cells + CellsOf(*ev), kInputPool);
      if (Take(*ev) && ++held >= kBatchLimit) {
        delivery_.Deliver();
        held = 0;
      }
      // Once what alsa-lib read from the kernel is taken, the next read waits for the next
      // wake-up: a read that finds nothing would cost a system call.
      if (snd_seq_event_input_pending(seq_, 0) == 0) break;
    }
    return cells;
  }

  // True when the event was handed over (to be delivered, see Run).
  bool Take(const snd_seq_event_t& ev) {
    if (ev.source.client == SND_SEQ_CLIENT_SYSTEM) {
      Announced(ev);
      return false;
    }
    size_t n = 0;
    const uint8_t* bytes = SysexBytes(ev, n);
    uint8_t shortBytes[kMaxAlsaEventBytes];
    if (bytes == nullptr) {
      n = AlsaEventBytes(ev, shortBytes);
      bytes = shortBytes;
    }
    if (n == 0 || !overrunFilter_.Pass(ev.type == SND_SEQ_EVENT_SYSEX, bytes[0])) return false;
    delivery_.ReceiveAtLater(bytes, n, StampOf(ev));
    return true;
  }

  const int client_;
  const int port_;
  InputDelivery& delivery_;
  snd_seq_t* seq_ = nullptr;
  int self_ = -1;
  int queue_ = -1;
  int inputPort_ = -1;
  int announcePort_ = -1;
  EventFd stop_;                      // the reader thread polls it too: posted, it ends at once
  OverrunSysexFilter overrunFilter_;  // reader thread only
  bool calibrated_ = false;           // set before the thread starts, then read only
  int64_t offsetNs_ = 0;
  std::atomic<bool> gone_{false};
  std::thread thread_;
};

}  // namespace

MidiResult OpenAlsaInput(int client, int port, InputDelivery& delivery,
                         std::unique_ptr<InputSource>& opened) {
  std::unique_ptr<AlsaInput> input;
  try {
    input = std::make_unique<AlsaInput>(client, port, delivery);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  const MidiResult result = input->Open();
  if (result != kNoError) return result;
  opened = std::move(input);
  return kNoError;
}

}  // namespace tessaly
