#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "capture/capture_state.h"
#include "capture/midi_input_service.h"

// Port control: which input port is active, the eight operations on it, the two sequences
// built from them and the stepping between ports. Every operation reports the service's text
// for its result as a status line and carries on; none ever stops on a failure.
//
// Window thread only. The input itself arrives through MidiInputCallback, registered here.
namespace tessaly {

// What port control needs of its owner: the message list, the view, and the clock.
class PortHost {
 public:
  virtual ~PortHost() = default;
  // Appends a line to MessageBoxList.
  virtual void AppendStatusLine(std::string_view line) = 0;
  // The view shows the current port fields.
  virtual void Refresh() = 0;
  // Input was (re)started: time stamps count from zero again.
  virtual void InputStarted() = 0;
};

// Status line labels, 22 characters each.
inline constexpr std::string_view kOpenLabel = "midiInOpen            ";
inline constexpr std::string_view kStartLabel = "midiInStart           ";
inline constexpr std::string_view kPrepareLabel = "midiInPrepareHeader   ";
inline constexpr std::string_view kAddBufferLabel = "midiInAddBuffer       ";
inline constexpr std::string_view kStopLabel = "midiInStop            ";
inline constexpr std::string_view kResetLabel = "midiInReset           ";
inline constexpr std::string_view kCloseLabel = "midiInClose           ";
static_assert(kOpenLabel.size() == 22 && kStartLabel.size() == 22 && kPrepareLabel.size() == 22 &&
              kAddBufferLabel.size() == 22 && kStopLabel.size() == 22 && kResetLabel.size() == 22 &&
              kCloseLabel.size() == 22);
inline constexpr std::string_view kOpenRefusedLine =
    "midiInOpen called when already open THIS IS BAD but protected now ";
inline constexpr std::string_view kNoPortName = "not set yet or error";

class PortControl {
 public:
  // Sets the port fields as at construction: portIndex 0, the name of port 0 (empty when the
  // query fails), openStatus 0, portCount from the service.
  PortControl(CaptureState& state, PortHost& host);
  PortControl(const PortControl&) = delete;
  PortControl& operator=(const PortControl&) = delete;

  void OpenPort();
  void StartInput();
  void PrepareHeader();
  void AddBuffer();
  void StopInput();
  void ResetInput();
  void UnprepareBuffer();
  void ClosePort();
  void ReopenPort();
  void ShutdownPort();
  void NextPort();      // "Up"
  void PreviousPort();  // "Down"
  // Chooses the port the next ReopenPort opens, and queries its name, before any port is
  // open: a front end that starts on a port other than 0.
  void SelectPort(uint32_t port);
  // At every tick: when the service says its ports changed, counts them again and finds the
  // open port's place in the new list (by name), so Up and Down step through the ports as
  // they are now. Costs one atomic read while nothing changes.
  void NoticePortChanges();

  uint32_t portIndex() const { return portIndex_; }
  uint32_t portCount() const { return portCount_; }
  const std::string& portName() const { return portName_; }
  int32_t openStatus() const { return openStatus_; }
  bool portOpenMark() const { return portOpenMark_; }
  MidiInHandle inputHandle() const { return inputHandle_; }

 private:
  void Report(std::string_view label, MidiResult result);
  void QueryCapabilities();

  CaptureState& state_;
  MidiInputService& service_;
  PortHost& host_;
  uint32_t portIndex_ = 0;
  uint32_t portCount_ = 0;
  uint64_t portsSeen_ = 0;  // the service's PortsChanged at the latest count
  std::string portName_;
  int32_t openStatus_ = 0;
  MidiInHandle inputHandle_ = 0;
  PortCaps portCaps_;
  // True while a port is open: set by an open that succeeded, cleared by a close that
  // succeeded or found nothing open. An open is refused while it is set.
  bool portOpenMark_ = false;
};

}  // namespace tessaly
