#pragma once

#include <QIcon>

namespace tessaly {

// The application icon, drawn from our SVG at the sizes desktops ask for.
QIcon AppIcon();

}  // namespace tessaly
