#pragma once

#include <QRect>
#include <QSize>

#include "shell/dialog_template.h"

// The main dialog in a window larger than its template: the template's geometry is the
// smallest, and what the window has more goes to the four lists. The left column (message box
// above sysex above statistics) takes half the extra width, the MIDI message list on the right
// the other half and all the extra height; of the left column's extra height the sysex list
// takes most. The other controls keep their size, order and places relative to the lists and
// the window's edges: a button at a list's right end stays there, a caption at its left end.
namespace tessaly {

// Where `control` (placed at `base` pixels at the template's size) lies in a window `extra`
// pixels wider and taller than the template.
QRect StretchedRect(const ControlTemplate& control, const QRect& base, QSize extra);

}  // namespace tessaly
