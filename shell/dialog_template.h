#pragma once

#include <span>
#include <string_view>

// The dialog templates: every control with its id, kind, caption and place in dialog units,
// in the template's order, which is also the tab order. Dialog units scale with the dialog
// font (see dialog_units.h), so the layout keeps its proportions on any font.
namespace tessaly {

// Control ids of the main dialog (template 102) and the about box (template 100).
enum ControlId : int {
  kIdStatic = -1,
  kIdOk = 1,
  kIdCancel = 2,
  kIdPortCount = 1000,
  kIdUp = 1001,
  kIdDown = 1002,
  kIdPortIndex = 1003,
  kIdPortName = 1004,
  kIdMidiOpen = 1005,
  kIdMidiInStart = 1006,
  kIdPrepareHeader = 1007,
  kIdAddBuffer = 1008,
  kIdStopMidiIn = 1009,
  kIdResetMidiIn = 1010,
  kIdUnprepareBuffer = 1011,
  kIdCloseMidiIn = 1012,
  kIdSysexList = 1013,
  kIdMessageBoxList = 1015,
  kIdBasicMessageList = 1016,
  kIdStatisticsList = 1017,
  kIdOpenStatus = 1018,
  kIdUpdateAll = 1019,
  kIdClearSysex = 1020,
  kIdClearMidiMessage = 1021,
  kIdClearStatistics = 1022,
  kIdFilterGroup = 1023,
  kIdKeyOff = 1024,
  kIdKeyOn = 1025,
  kIdKeyPressure = 1026,
  kIdControlChange = 1027,
  kIdProgramChange = 1028,
  kIdChannelPressure = 1029,
  kIdPitchBend = 1030,
  kIdVelocityZeroKeyOff = 1031,
  kIdClearMessage = 1032,
  kIdCopyMessage = 1033,
  kIdCopyMidiMessage = 1034,
  kIdCopyStatistics = 1035,
  kIdCopySysex = 1036,
  kIdAboutIcon = 2000,
};

// The about command of the window menu (here: the context menu and F1).
inline constexpr unsigned kIdmAboutBox = 0x10;
// Text of that menu entry; the entry is added only when it is not empty.
inline constexpr std::string_view kAboutMenuText = "&About Tessaly...";
inline constexpr int kTimerId = 1;
inline constexpr int kTimerPeriodMs = 100;

struct DialogRect {
  int x;
  int y;
  int width;
  int height;
};

enum class ControlKind {
  kDefaultButton,
  kButton,
  kToggle,  // push-like check box
  kEdit,
  kList,
  kGroupBox,
  kLabel,
  kIcon,
};

enum ControlStyle : unsigned {
  kNoStyle = 0,
  kDisabled = 1u << 0,
  kDigitsOnly = 1u << 1,
  kAutoHScroll = 1u << 2,
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* caption;
  DialogRect rect;
  unsigned style;
};

struct DialogTemplate {
  const char* title;
  int width;
  int height;
  int fontPointSize;
  std::span<const ControlTemplate> controls;
};

extern const DialogTemplate kMonitorDialogTemplate;
extern const DialogTemplate kAboutDialogTemplate;

}  // namespace tessaly
