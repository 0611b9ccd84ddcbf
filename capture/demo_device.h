#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/input_delivery.h"
#include "capture/port_backend.h"

// The built-in demo device: a port that sends, at a pace a person can read, the traffic of a
// manufacturer 0x09 device (text lines, scan dumps, EEPROM peek and poke, parameter reports,
// the fixed notices) between channel messages of every kind, system messages, a foreign sysex
// message and now and then a malformed message, so every kind of line the monitor shows comes
// up. Its messages take the same road as a real port's: InputDelivery::Receive.
namespace tessaly {

inline constexpr const char* kDemoDeviceName = "Tessaly demo device";

struct DemoStep {
  uint32_t delayMs;            // wait before the message
  std::vector<uint8_t> bytes;  // one message, as a MIDI system would deliver it
};

// One cycle of the demo traffic; the device repeats it.
std::vector<DemoStep> DemoCycle();

class DemoDevice : public InputSource {
 public:
  // Sends into `delivery`, a cycle at a time, each cycle beginning once input is started.
  // `pace` scales the waits (1 = the readable pace).
  explicit DemoDevice(InputDelivery& delivery, double pace = 1.0);
  ~DemoDevice() override;
  DemoDevice(const DemoDevice&) = delete;
  DemoDevice& operator=(const DemoDevice&) = delete;

 private:
  void Run();

  InputDelivery& delivery_;
  const double pace_;
  std::vector<DemoStep> cycle_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;  // guarded by mutex_
  std::thread thread_;
};

// The demo device as a port backend: one port.
class DemoBackend : public PortBackend {
 public:
  explicit DemoBackend(double pace = 1.0) : pace_(pace) {}
  std::vector<PortListing> ListPorts() override { return {{kDemoDeviceName, PortGroup::kDemo}}; }
  MidiResult Open(size_t index, InputDelivery& delivery,
                  std::unique_ptr<InputSource>& source) override;

 private:
  double pace_;
};

}  // namespace tessaly
