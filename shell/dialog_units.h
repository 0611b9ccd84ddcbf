#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "shell/dialog_template.h"

// Dialog units: a quarter of the dialog font's average character width across, an eighth of
// its height down. Mapping through them keeps a template's proportions on whatever font the
// desktop provides.
namespace tessaly {

struct DialogBaseUnits {
  int x = 0;  // average character width in pixels
  int y = 0;  // character height in pixels
};

// The base units of `font`, measured as the classic dialog manager does: the width of the 52
// letters A-Z and a-z, averaged and rounded, and the font's height.
DialogBaseUnits BaseUnitsOf(const QFont& font);

QRect MapDialogRect(const DialogRect& rect, DialogBaseUnits units);
QSize MapDialogSize(int width, int height, DialogBaseUnits units);

}  // namespace tessaly
