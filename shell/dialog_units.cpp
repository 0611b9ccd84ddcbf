#include "shell/dialog_units.h"

#include <QFontMetrics>

namespace tessaly {
namespace {

// a * b / c rounded half away from zero, for the non-negative values used here.
int MulDiv(int a, int b, int c) {
  return static_cast<int>((int64_t{a} * b * 2 + c) / (2 * c));
}

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const DialogRect& rect, DialogBaseUnits units) {
  // Edges are mapped, not sizes, so that controls that meet in dialog units meet on screen.
  const int left = MulDiv(rect.x, units.x, 4);
  const int top = MulDiv(rect.y, units.y, 8);
  const int right = MulDiv(rect.x + rect.width, units.x, 4);
  const int bottom = MulDiv(rect.y + rect.height, units.y, 8);
  return QRect(left, top, right - left, bottom - top);
}

QSize MapDialogSize(int width, int height, DialogBaseUnits units) {
  return QSize(MulDiv(width, units.x, 4), MulDiv(height, units.y, 8));
}

}  // namespace tessaly
