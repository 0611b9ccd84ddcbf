#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "capture/alsa_port_order.h"
#include "capture/event_fd.h"
#include "capture/port_backend.h"

// The ALSA sequencer's readable ports (alsa_port_order.h says how they are named and ordered),
// then our own virtual input port "Tessaly MIDI In"; ports open through our own input
// (alsa_input.h). A watch client, subscribed to the System Announce port, counts every change
// of ports and clients on a thread of its own, so the window can see that the list changed
// by reading one atomic. Window thread, but for the watch's thread.
struct _snd_seq;

namespace tessaly {

class AlsaBackend : public PortBackend {
 public:
  AlsaBackend();
  ~AlsaBackend() override;
  AlsaBackend(const AlsaBackend&) = delete;
  AlsaBackend& operator=(const AlsaBackend&) = delete;

  std::vector<PortListing> ListPorts() override;
  MidiResult Open(size_t index, InputDelivery& delivery,
                  std::unique_ptr<InputSource>& source) override;
  uint64_t PortsChanged() override {
    // relaxed: a count only; the list itself is read again from the kernel.
    return changes_.load(std::memory_order_relaxed);
  }

 private:
  void StartWatch();
  void Watch();

  _snd_seq* seq_ = nullptr;  // the watch client; listing also goes through it
  EventFd stop_;             // the watch's thread polls it too: posted, it ends at once
  std::thread watch_;
  std::atomic<uint64_t> changes_{0};
  std::vector<AlsaPortInfo> entries_;  // of the latest ListPorts; virtual port after them
};

}  // namespace tessaly
