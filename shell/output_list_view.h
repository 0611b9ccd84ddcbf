#pragma once

#include <QTableView>
#include <cstddef>

#include "display/output_list.h"
#include "shell/output_list_model.h"

// The view of one list window: one column of fixed-pitch lines of equal height, as wide as the
// longest line (so the statistics table and the hex columns line up and a long line can be
// scrolled to), single selection, no editing. A table view rather than a list view: with
// fixed row heights it lays out an insert in constant time however long the list is.
//
// Sync takes up the list's changes; while the view shows its last line, the line marked as
// newest is scrolled into view; a user who scrolled up keeps the place. Window thread only.
namespace tessaly {

class OutputListView : public QTableView {
  Q_OBJECT

 public:
  OutputListView(const OutputList& list, QWidget* parent = nullptr);

  // The fixed-pitch face of the desktop at `pointSize`, or smaller (down to a legible floor)
  // so that `columns` characters fit `width` pixels of text.
  static QFont FittingFont(qreal pointSize, int columns, int width);

  void Sync();
  OutputListModel& listModel() { return model_; }
  // Pixels a line of text has before the view must scroll sideways.
  int TextWidth() const;
  // True while the view keeps its newest marked line in sight: at start, and whenever the
  // user (or the keyboard) leaves it at the bottom.
  bool Following() const { return following_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateMetrics();
  void UpdateColumnWidth();
  int TextMargin() const;
  void ScrollToAnchor();

  OutputListModel model_;
  qreal characterWidth_ = 0;
  int columnWidth_ = -1;
  // The longest line the column was last sized for.
  size_t sizedWidest_ = 0;
  bool following_ = true;
  bool scrolling_ = false;
  // What the last scroll to the anchor saw: a tick that changed neither scrolls (and repaints)
  // nothing, so an idle window costs next to nothing.
  int64_t scrolledAnchor_ = -1;
  int scrolledRows_ = -1;
};

}  // namespace tessaly
