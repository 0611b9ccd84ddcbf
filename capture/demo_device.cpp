#include "capture/demo_device.h"

#include <chrono>
#include <new>
#include <string_view>
#include <system_error>

#include "capture/midi_constants.h"

namespace tessaly {
namespace {

// The device family's encodings: numbers in nibble digits (least significant first), data
// values as nibble pairs (low nibble first), 14-bit values as two 7-bit bytes (low first).
void AddNibbles(std::vector<uint8_t>& out, uint32_t value, int digits) {
  for (int i = 0; i < digits; ++i) out.push_back((value >> (4 * i)) & 0x0F);
}

void AddDataValues(std::vector<uint8_t>& out, const std::vector<uint8_t>& values) {
  for (uint8_t v : values) {
    out.push_back(v & 0x0F);
    out.push_back(v >> 4);
  }
}

void Add14Bit(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(value & 0x7F);
  out.push_back((value >> 7) & 0x7F);
}

void AddText(std::vector<uint8_t>& out, std::string_view text) {
  for (char c : text) out.push_back(static_cast<uint8_t>(c) & 0x7F);
}

std::vector<uint8_t> Sysex(uint8_t command, const std::vector<uint8_t>& payload = {}) {
  std::vector<uint8_t> message;
  message.reserve(payload.size() + 4);
  message.push_back(kSysexStart);
  message.push_back(kDeviceFamilyId);
  message.push_back(command);
  for (uint8_t byte : payload) message.push_back(byte);
  message.push_back(kSysexEnd);
  return message;
}

// Address and length fields of the EEPROM messages, then the padding up to position 12.
std::vector<uint8_t> EepromFields(uint32_t address, uint32_t length) {
  std::vector<uint8_t> fields;
  AddNibbles(fields, address, 5);
  AddNibbles(fields, length, 4);
  return fields;
}

// A parameter report's fields: the parameter's number, its value and its name.
std::vector<uint8_t> ParameterFields(uint32_t number, uint32_t value, std::string_view name) {
  std::vector<uint8_t> fields;
  Add14Bit(fields, number);
  Add14Bit(fields, value);
  AddText(fields, name);
  return fields;
}

class CycleBuilder {
 public:
  void Send(uint32_t delayMs, std::vector<uint8_t> bytes) {
    steps_.push_back({delayMs, std::move(bytes)});
  }
  // A text line typed one character per message, as the device's console does.
  void Type(std::string_view line, uint32_t perCharMs) {
    for (char c : line) Send(perCharMs, Sysex(0x10, {static_cast<uint8_t>(c)}));
  }
  void Note(uint8_t channel, uint8_t key, uint8_t velocity, uint32_t lengthMs, bool zeroOff) {
    Send(120, {static_cast<uint8_t>(kNoteOn | channel), key, velocity});
    if (zeroOff) {
      Send(lengthMs, {static_cast<uint8_t>(kNoteOn | channel), key, 0});
    } else {
      Send(lengthMs, {static_cast<uint8_t>(kNoteOff | channel), key, 64});
    }
  }
  std::vector<DemoStep> Take() { return std::move(steps_); }

 private:
  std::vector<DemoStep> steps_;
};

}  // namespace

std::vector<DemoStep> DemoCycle() {
  CycleBuilder c;
  c.Send(200, {kProgramChange | 0, 5});
  c.Send(150, {kControlChange | 0, 7, 100});
  c.Type("Demo device ready\r\n", 25);
  c.Note(0, 60, 100, 250, false);
  // A data byte with no status byte: the monitor flags it and the next message as suspect.
  c.Send(300, {0x3C, 0x40});
  c.Note(0, 64, 90, 250, true);
  c.Send(300, Sysex(0x11, [] {
           std::vector<uint8_t> text;
           AddText(text, "firmware 1.01, 16 sensors, eeprom 4k");
           return text;
         }()));
  c.Note(0, 67, 80, 250, false);
  c.Send(300, Sysex(0x15, [] {
           std::vector<uint8_t> payload(9, 0);  // scan header, not interpreted
           std::vector<uint8_t> values;
           for (int i = 0; i < 32; ++i)
             values.push_back(static_cast<uint8_t>((i * 37 + 11) & 0xFF));
           AddDataValues(payload, values);
           return payload;
         }()));
  c.Send(300, {kKeyPressure | 0, 67, 40});
  c.Send(150, {kChannelPressure | 0, 50});
  for (uint8_t msb : {0x40, 0x50, 0x60, 0x50, 0x40}) c.Send(80, {kPitchBend | 0, 0x00, msb});
  c.Send(300, Sysex(0x2F, [] {
           std::vector<uint8_t> payload;
           AddNibbles(payload, 0x0010, 4);
           return payload;
         }()));
  c.Send(300, Sysex(0x30, [] {
           std::vector<uint8_t> payload = EepromFields(0x00120, 0x0010);
           std::vector<uint8_t> values;
           for (int i = 0; i < 16; ++i) values.push_back(static_cast<uint8_t>(0xA0 + i));
           AddDataValues(payload, values);
           return payload;
         }()));
  c.Send(300, Sysex(0x43, ParameterFields(5, 127, "gain")));
  c.Send(300, Sysex(0x44, ParameterFields(12, 300, "threshold")));
  c.Send(300, {kControlChange | 1, 1, 64});
  c.Send(300, Sysex(0x31, [] {
           std::vector<uint8_t> payload = EepromFields(0x00124, 0x0004);
           AddDataValues(payload, {0x05, 0x1F, 0x80, 0xFF});
           return payload;
         }()));
  c.Send(300, Sysex(0x32, [] {
           std::vector<uint8_t> payload;
           AddNibbles(payload, 0x0004, 4);
           return payload;
         }()));
  c.Send(300, {kProgramChange | 1, 12});
  c.Note(1, 48, 70, 300, false);
  c.Send(300, Sysex(0x12));
  c.Send(300, Sysex(0x13));
  c.Send(300, Sysex(0x27));
  c.Send(300, Sysex(0x2A));
  c.Send(300, Sysex(0x45));
  // System messages: song position, start, three clocks, stop.
  c.Send(300, {kSongPosition, 0x10, 0x00});
  c.Send(150, {kStart});
  for (int i = 0; i < 3; ++i) c.Send(60, {kClock});
  c.Send(150, {kStop});
  // A command the family does not define, and another manufacturer's message.
  c.Send(300, Sysex(0x14, {0x00}));
  c.Send(300, {kSysexStart, 0x7E, 0x7F, 0x06, 0x01, kSysexEnd});
  // A note-on cut short.
  c.Send(300, {kNoteOn | 0, 72});
  c.Note(0, 72, 100, 250, false);
  c.Type("scan complete\r\n", 25);
  c.Send(600, {kControlChange | 0, 123, 0});
  return c.Take();
}

DemoDevice::DemoDevice(InputDelivery& delivery, double pace)
    : delivery_(delivery), pace_(pace), cycle_(DemoCycle()), thread_([this] { Run(); }) {}

DemoDevice::~DemoDevice() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void DemoDevice::Run() {
  // The demo's own thread plays the device: it may wait and lock, unlike the callback.
  std::unique_lock lock(mutex_);
  for (;;) {
    // Each cycle begins once input runs, so a new start shows the traffic from its beginning.
    while (!delivery_.started()) {
      if (wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop_; })) return;
    }
    auto next = std::chrono::steady_clock::now();
    for (const DemoStep& step : cycle_) {
      next += std::chrono::microseconds(static_cast<int64_t>(step.delayMs * 1000.0 * pace_));
      if (wake_.wait_until(lock, next, [this] { return stop_; })) return;
      delivery_.Receive(step.bytes.data(), step.bytes.size());
    }
  }
}

MidiResult DemoBackend::Open(size_t index, InputDelivery& delivery,
                             std::unique_ptr<InputSource>& source) {
  if (index != 0) return kBadDeviceId;
  try {
    source = std::make_unique<DemoDevice>(delivery, pace_);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (const std::system_error&) {
    return kNoMemory;
  }
  return kNoError;
}

}  // namespace tessaly
