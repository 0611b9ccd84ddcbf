#include "shell/dialog_template.h"

namespace tessaly {
namespace {

using enum ControlKind;

constexpr ControlTemplate kMonitorControls[] = {
    {kIdOk, kDefaultButton, "OK", {610, 7, 50, 14}, kNoStyle},
    {kIdCancel, kButton, "Cancel", {610, 26, 50, 14}, kNoStyle},
    {kIdPortCount, kEdit, "", {167, 13, 40, 14}, kDigitsOnly},
    {kIdUp, kButton, "Up", {81, 36, 33, 14}, kNoStyle},
    {kIdDown, kButton, "Down", {120, 36, 35, 14}, kNoStyle},
    {kIdPortIndex, kEdit, "", {167, 36, 40, 14}, kDigitsOnly},
    {kIdPortName, kEdit, "", {87, 62, 120, 14}, kAutoHScroll},
    {kIdMidiOpen, kButton, "Midi Open", {223, 7, 62, 14}, kDisabled},
    {kIdMidiInStart, kButton, "Midi In Start", {223, 24, 62, 14}, kDisabled},
    {kIdPrepareHeader, kButton, "Prepare Header", {223, 41, 62, 14}, kDisabled},
    {kIdAddBuffer, kButton, "Add_Buffer", {223, 58, 62, 14}, kDisabled},
    {kIdStopMidiIn, kButton, "Stop Midi In", {294, 7, 62, 14}, kDisabled},
    {kIdResetMidiIn, kButton, "Reset Midi In", {294, 24, 62, 14}, kDisabled},
    {kIdUnprepareBuffer, kButton, "Unprepare Buffer", {294, 41, 62, 14}, kDisabled},
    {kIdCloseMidiIn, kButton, "Close Midi In", {294, 58, 62, 14}, kDisabled},
    {kIdSysexList, kList, "", {15, 216, 395, 98}, kNoStyle},
    {kIdMessageBoxList, kList, "", {15, 98, 395, 98}, kNoStyle},
    {kIdBasicMessageList, kList, "", {416, 98, 249, 318}, kNoStyle},
    {kIdStatisticsList, kList, "", {15, 329, 395, 71}, kNoStyle},
    {kIdOpenStatus, kEdit, "", {561, 18, 40, 14}, kDigitsOnly},
    {kIdUpdateAll, kButton, "Update all Windows", {335, 402, 75, 14}, kNoStyle},
    {kIdClearSysex, kButton, "Clear Sysex Window", {319, 201, 90, 14}, kNoStyle},
    {kIdClearMidiMessage, kButton, "Clear Midi Message Window", {563, 64, 97, 14}, kNoStyle},
    {kIdClearStatistics, kButton, "Clear Statistics Window", {319, 316, 90, 14}, kNoStyle},
    {kIdFilterGroup, kGroupBox, "Midi Filters", {436, 7, 109, 86}, kNoStyle},
    {kIdKeyOff, kToggle, "Key Off", {449, 14, 91, 10}, kNoStyle},
    {kIdKeyOn, kToggle, "Key On", {449, 24, 38, 10}, kNoStyle},
    {kIdKeyPressure, kToggle, "Key Preasure", {449, 34, 91, 10}, kNoStyle},
    {kIdControlChange, kToggle, "Midi Control Change", {449, 44, 91, 10}, kNoStyle},
    {kIdProgramChange, kToggle, "Midi Program Change", {449, 54, 91, 10}, kNoStyle},
    {kIdChannelPressure, kToggle, "Midi Channel Preasure", {449, 64, 91, 10}, kNoStyle},
    {kIdPitchBend, kToggle, "Midi Channel Pitch Bend", {449, 74, 91, 10}, kNoStyle},
    {kIdVelocityZeroKeyOff, kToggle, "Vel 0 Key Off", {494, 24, 46, 10}, kNoStyle},
    {kIdClearMessage, kButton, "Clear Message Window", {319, 81, 90, 14}, kNoStyle},
    {kIdCopyMessage, kButton, "Copy Message Window", {165, 82, 93, 14}, kNoStyle},
    {kIdCopyMidiMessage, kButton, "Copy Midi Message Window", {563, 45, 97, 14}, kNoStyle},
    {kIdCopyStatistics, kButton, "Copy Statistics", {187, 316, 50, 14}, kNoStyle},
    {kIdCopySysex, kButton, "Copy Sysex Message Window", {161, 202, 101, 14}, kNoStyle},
    {kIdStatic, kLabel, "Number of Midi In Ports", {17, 19, 74, 8}, kNoStyle},
    {kIdStatic, kLabel, "Active Miidi In Port", {17, 42, 60, 8}, kNoStyle},
    {kIdStatic, kLabel, "Midi In Port Name", {17, 68, 57, 8}, kNoStyle},
    {kIdStatic, kLabel, "Sysex Message Window", {15, 205, 78, 8}, kNoStyle},
    {kIdStatic, kLabel, "Message Box", {15, 85, 44, 8}, kNoStyle},
    {kIdStatic, kLabel, "Basic Midi Message", {578, 89, 64, 8}, kNoStyle},
    {kIdStatic, kLabel, "Midi Statistics Window", {15, 319, 72, 8}, kNoStyle},
    {kIdStatic, kLabel, "Status", {570, 7, 21, 8}, kNoStyle},
};

// The icon control takes the icon's own size; only its place is given.
constexpr ControlTemplate kAboutControls[] = {
    {kIdAboutIcon, kIcon, "", {11, 17, 0, 0}, kNoStyle},
    {kIdStatic, kLabel, "Tessaly Version 1.01", {40, 10, 119, 8}, kNoStyle},
    {kIdStatic, kLabel, "MIDI input monitor for Linux", {40, 25, 119, 8}, kNoStyle},
    {kIdOk, kDefaultButton, "OK", {178, 7, 50, 14}, kNoStyle},
};

}  // namespace

const DialogTemplate kMonitorDialogTemplate = {"Tessaly", 672, 426, 8, kMonitorControls};
const DialogTemplate kAboutDialogTemplate = {"About Tessaly", 235, 55, 8, kAboutControls};

}  // namespace tessaly
