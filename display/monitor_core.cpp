#include "display/monitor_core.h"

namespace tessaly {

MonitorCore::MonitorCore(MidiInputService& service)
    : service_(service),
      capture_(std::make_unique<CaptureState>(service)),
      sysexDecoder_(sysexList),
      ports_(*capture_, *this) {}

MonitorCore::~MonitorCore() = default;

void MonitorCore::Start() {
  ports_.ReopenPort();
  for (std::string_view line : kHelpLines) messageBoxList.AppendLine(line);
  Refresh();
}

void MonitorCore::DrainAndDisplay() {
  CaptureState& state = *capture_;
  // Taken back first, so a queue that fills again during this drain wakes us again.
  state.drainWake.Rearm();
  // Before the events: a service that keeps its notices in order with its events gives one
  // only once the events before it were drained (see FileBackend).
  for (std::string notice; service_.TakeNotice(notice);) messageBoxList.AppendLine(notice);
  ports_.NoticePortChanges();
  statistics_.ResetCheck(state.statusCounters);
  sysexDecoder_.DrainSysexQueue(state.sysexQ, state.stopRequest);
  eventLines_.DrainEvents(state, filters_, statistics_, basicMessageList, messageBoxList);
  // After the events: the system's loss lines follow what it did hand over.
  if (const SystemLosses* losses = service_.Losses()) lossLines_.Append(*losses, messageBoxList);
  statistics_.RedrawIfDirty(state.statusCounters, statisticsList);
  MarkNewest(messageBoxList, rememberedMessageBox_);
  MarkNewest(basicMessageList, rememberedBasic_);
  MarkNewest(statisticsList, rememberedStatistics_);
  Refresh();
}

void MonitorCore::ClearMidiMessageWindow() {
  basicMessageList.Clear();
  eventLines_.RequestTimeBaseRestart();
}

void MonitorCore::MarkNewest(OutputList& list, size_t& remembered) {
  const size_t count = list.Count();
  if (count == remembered) return;
  remembered = count;
  list.SetAnchor(static_cast<int64_t>(count) - 1);
}

void MonitorCore::Refresh() {
  if (view_ != nullptr) view_->Refresh();
}

}  // namespace tessaly
