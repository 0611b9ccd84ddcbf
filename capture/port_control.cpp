#include "capture/port_control.h"

#include <cstring>

#include "capture/midi_constants.h"
#include "capture/midi_input_callback.h"

namespace tessaly {
namespace {

// The service's text for a result fills at most this many bytes, terminator included.
constexpr size_t kResultTextSize = 128;

// A close that leaves a port open: anything but success, or "nothing open at this handle".
bool CloseLeftPortOpen(MidiResult result) {
  return result != kNoError && result != kInvalidHandle;
}

}  // namespace

PortControl::PortControl(CaptureState& state, PortHost& host)
    : state_(state), service_(state.service), host_(host) {
  portIndex_ = 0;
  // The result is not examined: a query that writes nothing leaves the zero-filled name empty.
  service_.GetDevCaps(portIndex_, &portCaps_, kPortCapsSize);
  portName_.assign(portCaps_.productName, strnlen(portCaps_.productName, kProductNameSize));
  openStatus_ = 0;
  portsSeen_ = service_.PortsChanged();
  portCount_ = service_.GetNumDevs();
}

void PortControl::NoticePortChanges() {
  const uint64_t changes = service_.PortsChanged();
  if (changes == portsSeen_) return;
  portsSeen_ = changes;
  portCount_ = service_.GetNumDevs();
  // The port shown keeps its name; its index is where that name is now (unchanged when it
  // has gone: Up and Down still step from there).
  for (uint32_t i = 0; i < portCount_; ++i) {
    PortCaps caps;
    if (service_.GetDevCaps(i, &caps, kPortCapsSize) != kNoError) continue;
    if (std::string_view(caps.productName, strnlen(caps.productName, kProductNameSize)) ==
        portName_) {
      portIndex_ = i;
      break;
    }
  }
  host_.Refresh();
}

void PortControl::Report(std::string_view label, MidiResult result) {
  char text[kResultTextSize] = {};
  service_.GetErrorText(result, text, sizeof text);
  // The service's text is copied byte for byte after the label, up to its terminator; a
  // service that filled every byte is cut before the last. It is never a format.
  std::string line(label);
  line.append(text, strnlen(text, sizeof text - 1));
  host_.AppendStatusLine(line);
}

void PortControl::OpenPort() {
  if (portOpenMark_) {
    // No service call and no refresh: the fields stay as they are.
    host_.AppendStatusLine(kOpenRefusedLine);
    return;
  }
  const MidiResult result = service_.Open(&inputHandle_, portIndex_, &MidiInputCallback,
                                          reinterpret_cast<uintptr_t>(&state_), kCallbackFunction);
  openStatus_ = result == kNoError ? 1 : 0;
  Report(kOpenLabel, result);
  // Only an open that succeeded leaves a port open; after a failed one the next open may
  // try again.
  portOpenMark_ = result == kNoError;
  host_.Refresh();
}

void PortControl::StartInput() {
  const MidiResult result = service_.Start(inputHandle_);
  // The service's time stamps count from zero again, so the drain's time base must too;
  // a start that failed restarted no clock.
  if (result == kNoError) host_.InputStarted();
  Report(kStartLabel, result);
  host_.Refresh();
}

void PortControl::PrepareHeader() {
  ReceiveHeader& header = state_.receiveHeader;
  // relaxed: the header is ours while it is not queued; the service's AddBuffer publishes it.
  header.data.store(state_.receiveBuffer, std::memory_order_relaxed);
  header.bufferLength.store(kReceiveBufferLength, std::memory_order_relaxed);
  header.flags.store(0, std::memory_order_relaxed);
  header.user.store(0, std::memory_order_relaxed);
  // A stop request concerns the buffer queued before this one; left set, it would release
  // the new buffer at its first return and end sysex input. relaxed: a flag only, the
  // service's AddBuffer orders it before the buffer can come back.
  state_.stopRequest.store(0, std::memory_order_relaxed);
  Report(kPrepareLabel, service_.PrepareHeader(inputHandle_, &header, kReceiveHeaderSize));
  host_.Refresh();
}

void PortControl::AddBuffer() {
  Report(kAddBufferLabel,
         service_.AddBuffer(inputHandle_, &state_.receiveHeader, kReceiveHeaderSize));
  host_.Refresh();
}

void PortControl::StopInput() {
  Report(kStopLabel, service_.Stop(inputHandle_));
  host_.Refresh();
}

void PortControl::ResetInput() {
  // The service hands the queued buffer back through the callback before Reset returns.
  Report(kResetLabel, service_.Reset(inputHandle_));
  host_.Refresh();
}

void PortControl::UnprepareBuffer() {
  // Set before the reset, so the buffer it returns meets the flag already set. relaxed: the
  // service's Reset call orders it before the callback that gets the buffer back.
  state_.stopRequest.store(1, std::memory_order_relaxed);
  ResetInput();
}

void PortControl::ClosePort() {
  MidiResult result = service_.Close(inputHandle_);
  if (result != kNoError) {
    // Most likely the buffer is still queued: have it returned and released, then try once
    // more. Only the second close's text is shown. relaxed: as in UnprepareBuffer.
    state_.stopRequest.store(1, std::memory_order_relaxed);
    ResetInput();
    result = service_.Close(inputHandle_);
  }
  portOpenMark_ = CloseLeftPortOpen(result);
  Report(kCloseLabel, result);
  openStatus_ = 0;
  host_.Refresh();
}

void PortControl::ReopenPort() {
  // Input starts before the buffer is queued; every step runs whatever the one before gave.
  OpenPort();
  StartInput();
  PrepareHeader();
  AddBuffer();
}

void PortControl::ShutdownPort() {
  // The reset (which returns the buffer) comes before the stop.
  UnprepareBuffer();
  StopInput();
  ClosePort();
}

void PortControl::QueryCapabilities() {
  if (service_.GetDevCaps(portIndex_, &portCaps_, kPortCapsSize) != kNoError) {
    portName_ = kNoPortName;
    return;
  }
  portName_.assign(portCaps_.productName, strnlen(portCaps_.productName, kProductNameSize));
}

void PortControl::NextPort() {
  // With no port there is no last one; portCount - 1 below would wrap.
  if (portCount_ == 0) return;
  const uint32_t lastPort = portCount_ - 1;
  if (portIndex_ == lastPort) return;
  ShutdownPort();
  portIndex_ = portIndex_ + 1;
  if (portIndex_ > lastPort) portIndex_ = lastPort;
  QueryCapabilities();
  ReopenPort();
  host_.Refresh();
}

void PortControl::PreviousPort() {
  // Also covers "no port at all": the index never leaves 0 then.
  if (portIndex_ == 0) return;
  ShutdownPort();
  portIndex_ = portIndex_ - 1;
  QueryCapabilities();
  ReopenPort();
  host_.Refresh();
}

void PortControl::SelectPort(uint32_t port) {
  portIndex_ = port;
  QueryCapabilities();
  host_.Refresh();
}

}  // namespace tessaly
