#include "shell/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace tessaly {

QIcon AppIcon() {
  // Drawn here rather than left to the SVG icon plug-in, so that a missing plug-in cannot
  // leave the window without its icon.
  QSvgRenderer renderer(QStringLiteral(":/tessaly/tessaly.svg"));
  QIcon icon;
  if (!renderer.isValid()) return icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace tessaly
