#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/input_delivery.h"
#include "capture/port_backend.h"

// A capture file replayed as an input port (--replay), named after the file. Its events take
// the road of a device's: a thread of its own reads the file in pieces (memory does not grow
// with the file), hands each message to InputDelivery::ReceiveAt with the file's time (counted
// from the recorded start of input, so the lines show the recorded times), and the service's input
// thread delivers it through the callback. In real time the thread keeps the file's gaps, as a
// device would; fast, it sends as soon as the monitor has room and waits for it, so that nothing is
// lost (a file may wait: it is not a device). A recorded drop or loss is counted again where the
// live run counted it (the service's counts, SystemLosses), once what came before it is delivered,
// so that it shows the same lines. What is wrong with the file, the recorded ports and the end of
// the file are lines for MessageBoxList (TakeNotice), each with the file's name and, for a
// fault, where it is. A notice keeps its place among the events: it is given once a whole drain
// has passed since the events before it were delivered, and the events after it wait until it is
// taken; the replay asks for those drains early (DeliveryGate::AskForDrain).
namespace tessaly {

class FileBackend : public PortBackend {
 public:
  // `fast`: as fast as the monitor takes it; otherwise in the file's own time.
  explicit FileBackend(bool fast = false) : fast_(fast) {}

  // Window thread: the file the port replays from its next open; empty: no port.
  void SetFile(std::string path);
  const std::string& file() const { return path_; }

  std::vector<PortListing> ListPorts() override;
  MidiResult Open(size_t index, InputDelivery& delivery,
                  std::unique_ptr<InputSource>& source) override;
  uint64_t PortsChanged() override { return changes_.load(std::memory_order_relaxed); }
  bool TakeNotice(std::string& line) override;

  // True once the replay opened last has delivered the file's last event and said so (its
  // line is among the notices). Any thread.
  bool Ended() const { return ended_.load(std::memory_order_acquire); }

  // Lines a replay says at most; the rest are counted in one line at the end, so that a file of
  // garbage cannot fill the list.
  static constexpr uint64_t kMaxNotices = 100;

  // The replay's thread: queues a notice and gives its number (1 for the first).
  uint64_t Say(std::string line);
  // Notices taken so far, and drains that looked for notices (a drain takes them first, then
  // the events): what a replay waits on to keep its notices in order with its events.
  uint64_t Taken() const { return taken_.load(std::memory_order_acquire); }
  uint64_t Drains() const { return drains_.load(std::memory_order_acquire); }
  void MarkEnded() {
    // release: the end's notice is queued before anyone who sees the end looks for it.
    ended_.store(true, std::memory_order_release);
  }

 private:
  const bool fast_;
  std::string path_;  // window thread
  std::atomic<uint64_t> changes_{0};
  std::atomic<bool> ended_{false};
  std::mutex mutex_;
  std::deque<std::string> notices_;  // guarded by mutex_
  uint64_t said_ = 0;                // guarded by mutex_
  std::atomic<uint64_t> taken_{0};
  std::atomic<uint64_t> drains_{0};
};

// The name of the port of `path`: the file's name without its folders.
std::string FilePortName(const std::string& path);

}  // namespace tessaly
