#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "display/output_list.h"

// The view of one list window: one column of fixed-pitch lines of equal height, as wide as the
// longest line (so the statistics table and the hex columns line up and a long line can be
// scrolled to), single selection, no editing.
//
// It paints the visible rows straight from the OutputList and keeps nothing per row: a list
// of ten million lines costs the view no memory, and taking up new lines costs the same
// however long the list is. The vertical scroll bar counts rows (its value is the first
// visible row), the horizontal one pixels.
//
// Sync takes up the list's changes; while the view shows its last line, the line marked as
// newest is scrolled to the bottom row; a user who scrolled up keeps the place. Window thread
// only.
namespace tessaly {

class OutputListView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  OutputListView(const OutputList& list, QWidget* parent = nullptr);

  // The fixed-pitch face of the desktop at `pointSize`, or smaller (down to a legible floor)
  // so that `columns` characters fit `width` pixels of text.
  static QFont FittingFont(qreal pointSize, int columns, int width);

  void Sync();
  // Paused, the view stops moving: Sync takes nothing up and the rows drawn stay as they were
  // (the rows of a list that is cleared and refilled meanwhile, as the statistics table is at
  // every drain, are drawn from a copy taken now; the others are only appended to). Resuming
  // takes everything up and shows the newest line.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // Follow the list's last line rather than the line marked as newest (for a list whose
  // newest line nobody marks).
  void SetFollowsLastLine(bool follows) { followsLastLine_ = follows; }
  // Pixels a line of text has before the view must scroll sideways.
  int TextWidth() const;
  // True while the view keeps its newest marked line in sight: at start, and whenever the
  // user (or the keyboard) leaves it at the bottom.
  bool Following() const { return following_; }

  // Rows taken up by the last Sync.
  int RowCount() const { return shown_; }
  // The text drawn for `row`: the line's bytes as Latin-1, control bytes as \xHH (see
  // line_display.h), at most the characters the width is sized for.
  QString RowText(int row) const;
  // Characters of the longest line shown (the width is sized from it).
  size_t WidestLine() const { return widest_; }
  int RowHeight() const { return rowHeight_; }
  // Rows that fit the viewport whole (at least one).
  int VisibleRows() const;
  // The selected row, -1 when none.
  int CurrentRow() const { return current_; }
  // Selects `row` (clamped to the rows shown; -1 for none) and scrolls it into view.
  void SetCurrentRow(int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void UpdateMetrics();
  void UpdateHorizontalRange();
  void UpdateVerticalRange();
  int TextMargin() const;
  int RowAt(int y) const;
  void ScrollToAnchor();
  // The row kept in sight while following.
  int64_t AnchorRow() const { return followsLastLine_ ? int64_t{shown_} - 1 : list_.Anchor(); }
  void Rescan(size_t from);
  // True when some row in [first, last] is at least partly in the viewport.
  bool RowsInView(int first, int last) const;

  const OutputList& list_;
  // What has been taken up: rows, and the list's clear count then.
  int shown_ = 0;
  uint64_t seenClears_ = 0;
  size_t widest_ = 0;
  // The longest line the width was last sized for.
  size_t sizedWidest_ = SIZE_MAX;
  int current_ = -1;
  qreal characterWidth_ = 0;
  int rowHeight_ = 1;
  bool following_ = true;
  bool followsLastLine_ = false;
  bool scrolling_ = false;
  // What the last scroll to the anchor saw: a tick that changed neither scrolls (and repaints)
  // nothing, so an idle window costs next to nothing.
  int64_t scrolledAnchor_ = -1;
  int scrolledRows_ = -1;
  bool paused_ = false;
  // While paused: the rows as they were, once the list has been cleared since.
  std::vector<std::string> pausedRows_;
};

}  // namespace tessaly
