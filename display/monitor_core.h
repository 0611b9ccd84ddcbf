#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_state.h"
#include "capture/midi_input_service.h"
#include "capture/port_control.h"
#include "display/event_lines.h"
#include "display/filter_set.h"
#include "display/output_list.h"
#include "display/status_statistics.h"
#include "display/sysex_decoder.h"
#include "display/system_loss_lines.h"

// The monitor without a window: the four lists, the port, the filters and the drain. The Qt
// dialog and the console front end each own one and bind their controls to it; "refresh" is
// a call to the view. Window thread only (the input callback works on CaptureState).
namespace tessaly {

class MonitorView {
 public:
  virtual ~MonitorView() = default;
  // Show the current port fields (portCount, portIndex, portName, openStatus).
  virtual void Refresh() = 0;
};

// The five help lines written at start.
inline constexpr std::string_view kHelpLines[] = {
    "this software is a sophiticated MIDI input monitor",
    "it automaticly opens the first MIDI in port it sees",
    "the input port can be changed",
    "the stream displayed in the can be qualified by clicking the filter buttons up top",
    "good luck",
};

class MonitorCore : private PortHost {
 public:
  // Builds the capture state and the port fields (as at the dialog's construction).
  explicit MonitorCore(MidiInputService& service);
  ~MonitorCore() override;
  MonitorCore(const MonitorCore&) = delete;
  MonitorCore& operator=(const MonitorCore&) = delete;

  void SetView(MonitorView* view) { view_ = view; }

  // Start of the window: ReopenPort on port 0, then the five help lines, then a refresh.
  void Start();
  // End of the window (OK, Cancel, close box): ShutdownPort.
  void Shutdown() { ports_.ShutdownPort(); }

  // Takes everything captured into the lists (timer tick, "Update all Windows").
  void DrainAndDisplay();

  // Buttons.
  void ClearSysexWindow() { sysexList.Clear(); }
  void ClearMidiMessageWindow();
  void ClearMessageWindow() { messageBoxList.Clear(); }
  void ClearStatisticsWindow() { statistics_.RequestClear(); }
  void ToggleFilter(FilterId id) { filters_.Toggle(id); }

  PortControl& ports() { return ports_; }
  const PortControl& ports() const { return ports_; }
  FilterSet& filters() { return filters_; }
  const FilterSet& filters() const { return filters_; }
  CaptureState& capture() { return *capture_; }
  const EventLines& eventLines() const { return eventLines_; }

  OutputList messageBoxList{"MessageBoxList"};
  OutputList basicMessageList{"BasicMessageList"};
  OutputList statisticsList{"StatisticsList"};
  OutputList sysexList{"SysexList"};

 private:
  // PortHost
  void AppendStatusLine(std::string_view line) override { messageBoxList.AppendLine(line); }
  void Refresh() override;
  void InputStarted() override { eventLines_.ZeroTimeBase(); }

  void MarkNewest(OutputList& list, size_t& remembered);

  MidiInputService& service_;
  std::unique_ptr<CaptureState> capture_;
  MonitorView* view_ = nullptr;
  SystemLossLines lossLines_;
  FilterSet filters_;
  StatusStatistics statistics_;
  EventLines eventLines_;
  SysexDecoder sysexDecoder_;
  PortControl ports_;
  size_t rememberedMessageBox_ = 0;
  size_t rememberedBasic_ = 0;
  size_t rememberedStatistics_ = 0;
};

}  // namespace tessaly
