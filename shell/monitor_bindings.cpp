#include "shell/monitor_dlg.h"

// The dialog's bindings: which event of which control runs which handler. The dialog walks
// this table once, when it is built.
namespace tessaly {
namespace {

using E = CMonitorDlg::Event;
using D = CMonitorDlg;

}  // namespace

std::span<const CMonitorDlg::Binding> CMonitorDlg::Bindings() {
  static constexpr Binding kBindings[] = {
      {E::kSysCommand, kIdmAboutBox, &D::OnAboutBox},
      {E::kClicked, kIdMidiOpen, &D::OnOpenPort},
      {E::kClicked, kIdMidiInStart, &D::OnStartInput},
      {E::kClicked, kIdPrepareHeader, &D::OnPrepareHeader},
      {E::kClicked, kIdAddBuffer, &D::OnAddBuffer},
      {E::kClicked, kIdStopMidiIn, &D::OnStopInput},
      {E::kClicked, kIdResetMidiIn, &D::OnResetInput},
      {E::kClicked, kIdUnprepareBuffer, &D::OnUnprepareBuffer},
      {E::kClicked, kIdCloseMidiIn, &D::OnClosePort},
      {E::kClicked, kIdUpdateAll, &D::OnUpdateAllWindows},
      {E::kClicked, kIdUp, &D::OnNextPort},
      {E::kClicked, kIdDown, &D::OnPreviousPort},
      {E::kTimer, kTimerId, &D::OnTimer},
      {E::kClicked, kIdClearSysex, &D::OnClearSysexWindow},
      {E::kClicked, kIdClearMidiMessage, &D::OnClearMidiMessageWindow},
      {E::kClicked, kIdClearStatistics, &D::OnClearStatisticsWindow},
      {E::kClicked, kIdKeyOff, &D::OnKeyOff},
      {E::kClicked, kIdKeyOn, &D::OnKeyOn},
      {E::kClicked, kIdVelocityZeroKeyOff, &D::OnVelocityZeroKeyOff},
      {E::kClicked, kIdKeyPressure, &D::OnKeyPressure},
      {E::kClicked, kIdControlChange, &D::OnControlChange},
      {E::kClicked, kIdProgramChange, &D::OnProgramChange},
      {E::kClicked, kIdChannelPressure, &D::OnChannelPressure},
      {E::kClicked, kIdPitchBend, &D::OnPitchBend},
      {E::kClicked, kIdClearMessage, &D::OnClearMessageWindow},
      {E::kClicked, kIdCopyMessage, &D::OnCopyMessageWindow},
      {E::kClicked, kIdCopyMidiMessage, &D::OnCopyMidiMessageWindow},
      {E::kClicked, kIdCopyStatistics, &D::OnCopyStatistics},
      {E::kClicked, kIdCopySysex, &D::OnCopySysexWindow},
      {E::kClicked, kIdOk, &D::OnOK},
      {E::kClicked, kIdCancel, &D::OnCancel},
  };
  return kBindings;
}

}  // namespace tessaly
