#pragma once

#include <QEvent>
#include <QObject>

// Counts the paint events a widget receives (install it on the viewport): for the view tests and
// the window benchmark, which both check that an update paints only what changed.
namespace tessaly::test {

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace tessaly::test
