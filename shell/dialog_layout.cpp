#include "shell/dialog_layout.h"

#include <algorithm>

namespace tessaly {
namespace {

// The template's two list columns and the top band above the lists' captions, in dialog units.
constexpr int kLeftColumnLeft = 15;
constexpr int kLeftColumnRight = 410;
constexpr int kRightColumnLeft = 416;
constexpr int kRightColumnRight = 665;
constexpr int kTopBandBottom = 80;

struct Extra {
  int left;      // width added to the left column
  int right;     // width added to the MIDI message list
  int messages;  // heights added to the left column's three lists
  int sysex;
  int statistics;
  int all;  // height added to the MIDI message list
};

Extra Split(QSize extra) {
  Extra e{};
  e.left = extra.width() / 2;
  e.right = extra.width() - e.left;
  e.messages = extra.height() * 3 / 10;
  e.statistics = extra.height() * 3 / 20;
  e.sysex = extra.height() - e.messages - e.statistics;
  e.all = extra.height();
  return e;
}

// Height the left column's lists above a control at `rect` have grown by.
int GrowthAbove(const DialogRect& rect, const Extra& e) {
  if (rect.x >= kRightColumnLeft - 3) return 0;
  int shift = 0;
  for (const ControlTemplate& c : kMonitorDialogTemplate.controls) {
    if (c.kind != ControlKind::kList || c.id == kIdBasicMessageList) continue;
    if (c.rect.y + c.rect.height > rect.y) continue;
    shift += c.id == kIdMessageBoxList ? e.messages : c.id == kIdSysexList ? e.sysex : e.statistics;
  }
  return shift;
}

// How far a control at `rect` moves sideways.
int SidewaysShift(const DialogRect& rect, const Extra& e) {
  const double centre = rect.x + rect.width / 2.0;
  if (rect.x >= kRightColumnLeft - 3) {
    // Above the MIDI message list: the filters stay over its left end, the status column and
    // the buttons over its right end follow the window's right edge.
    const double middle = (kRightColumnLeft + kRightColumnRight) / 2.0;
    return e.left + (centre >= middle ? e.right : 0);
  }
  // The port controls above the lists keep their place.
  if (rect.y + rect.height <= kTopBandBottom) return 0;
  // Captions stay at the lists' left end, clear buttons at their right end, copy buttons in
  // between.
  const double f = (centre - kLeftColumnLeft) / (kLeftColumnRight - kLeftColumnLeft);
  return f < 1.0 / 3 ? 0 : f > 2.0 / 3 ? e.left : e.left / 2;
}

}  // namespace

QRect StretchedRect(const ControlTemplate& control, const QRect& base, QSize extra) {
  extra = extra.expandedTo(QSize(0, 0));
  const Extra e = Split(extra);
  if (control.kind == ControlKind::kList) {
    if (control.id == kIdBasicMessageList) {
      return base.adjusted(e.left, 0, e.left + e.right, e.all);
    }
    const int top = GrowthAbove(control.rect, e);
    const int own = control.id == kIdMessageBoxList ? e.messages
                    : control.id == kIdSysexList    ? e.sysex
                                                    : e.statistics;
    return base.adjusted(0, top, e.left, top + own);
  }
  return base.translated(SidewaysShift(control.rect, e), GrowthAbove(control.rect, e));
}

}  // namespace tessaly
