#include "shell/output_list_view.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>

#include "shell/line_display.h"

namespace tessaly {
namespace {

// Longest line the width is sized for; a longer one is still shown from its start.
constexpr size_t kWidestSizedLine = 8192;
// A paused view copies its rows only when the list is this short (see SetPaused).
constexpr size_t kPausedCopyLimit = 256;
constexpr qreal kSmallestPointSize = 6;
constexpr qreal kPointSizeStep = 0.5;

}  // namespace

OutputListView::OutputListView(const OutputList& list, QWidget* parent)
    : QAbstractScrollArea(parent), list_(list), seenClears_(list.ClearCount()) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Focus by click and Tab, as Qt's item views take it; Tab itself leaves the view (QWidget
  // moves focus on before the key reaches keyPressEvent).
  setFocusPolicy(Qt::StrongFocus);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Only a move of the view's own scroll bar (by the user, the keyboard, or a shrinking list)
  // decides whether it follows; a list growing underneath does not.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!scrolling_) following_ = value >= verticalScrollBar()->maximum();
  });
  shown_ = static_cast<int>(std::min<size_t>(list_.Count(), INT_MAX));
  Rescan(0);
  UpdateMetrics();
}

QFont OutputListView::FittingFont(qreal pointSize, int columns, int width) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (qreal size = pointSize; size >= kSmallestPointSize; size -= kPointSizeStep) {
    font.setPointSizeF(size);
    if (QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')) * columns <= width) return font;
  }
  font.setPointSizeF(kSmallestPointSize);
  return font;
}

int OutputListView::TextMargin() const {
  // A small margin on both sides of the text, as item views keep.
  return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
}

int OutputListView::TextWidth() const {
  // Known before the view is first shown: the frame and the vertical bar, which is always on.
  return contentsRect().width() -
         style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar()) -
         TextMargin();
}

int OutputListView::VisibleRows() const {
  return std::max(1, viewport()->height() / rowHeight_);
}

QString OutputListView::RowText(int row) const {
  const bool copied = paused_ && row >= 0 && static_cast<size_t>(row) < pausedRows_.size();
  // A clear not yet taken up (the statistics table is cleared and redrawn at every drain, and
  // a drain can come between two view updates): the rows show what the list holds now, never
  // an empty row for a line the list has.
  if (!copied && (row < 0 || row >= shown_ || static_cast<size_t>(row) >= list_.Count())) {
    return QString();
  }
  std::string_view line =
      copied ? std::string_view(pausedRows_[row]) : list_.Line(static_cast<size_t>(row));
  // Nothing past the sized width can be scrolled to: do not lay it out.
  line = line.substr(0, kWidestSizedLine);
  QString text = DisplayText(line);
  text.truncate(static_cast<qsizetype>(kWidestSizedLine));
  return text;
}

void OutputListView::Rescan(size_t from) {
  for (size_t i = from; i < static_cast<size_t>(shown_); ++i) {
    widest_ = std::max(widest_, DisplayLength(list_.Line(i)));
  }
}

bool OutputListView::RowsInView(int first, int last) const {
  const int top = verticalScrollBar()->value();
  // The row cut off at the bottom counts as in view.
  const int bottom = top + viewport()->height() / rowHeight_;
  return first <= bottom && last >= top;
}

void OutputListView::SetPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  pausedRows_.clear();
  if (paused) {
    // Only a list that is refilled in place needs the copy; it is a short one (the
    // statistics table). The others keep their rows and are never copied.
    if (list_.Count() <= kPausedCopyLimit) {
      for (int row = 0; row < shown_ && list_.ClearCount() == seenClears_; ++row) {
        pausedRows_.emplace_back(list_.Line(static_cast<size_t>(row)));
      }
    }
    return;
  }
  following_ = true;
  Sync();
  ScrollToAnchor();
  viewport()->update();
}

void OutputListView::Sync() {
  if (paused_) return;
  // Scroll values count rows in int; a list can never grow that far in memory, but stay safe.
  const int count = static_cast<int>(std::min<size_t>(list_.Count(), INT_MAX));
  bool repaint = false;
  if (list_.ClearCount() != seenClears_) {
    // Cleared (and perhaps refilled, as the statistics table is at every drain): the rows are
    // redrawn in place, so the view keeps its scroll position and never shows an empty list
    // in between.
    seenClears_ = list_.ClearCount();
    const int before = shown_;
    shown_ = count;
    widest_ = 0;
    Rescan(0);
    current_ = -1;
    repaint = RowsInView(0, std::max(before, count) - 1);
    // An empty list has nothing to be scrolled up from.
    if (count == 0) following_ = true;
    UpdateVerticalRange();
  } else if (count > shown_) {
    const int first = shown_;
    shown_ = count;
    Rescan(static_cast<size_t>(first));
    repaint = RowsInView(first, count - 1);
    UpdateVerticalRange();
  }
  // The width follows the longest line; a resize or a new font sizes it anew by itself.
  if (widest_ != sizedWidest_) UpdateHorizontalRange();
  if (following_ && (AnchorRow() != scrolledAnchor_ || shown_ != scrolledRows_)) {
    ScrollToAnchor();
  }
  if (repaint) viewport()->update();
}

void OutputListView::ScrollToAnchor() {
  const int64_t anchor = AnchorRow();
  scrolledAnchor_ = anchor;
  scrolledRows_ = shown_;
  if (anchor < 0 || anchor >= shown_) return;
  // The anchor on the bottom row; down only, a user who scrolled sideways to read a long line
  // keeps that place. A value that does not change neither signals nor repaints.
  const int first = static_cast<int>(anchor) - VisibleRows() + 1;
  scrolling_ = true;
  verticalScrollBar()->setValue(std::clamp(first, 0, verticalScrollBar()->maximum()));
  scrolling_ = false;
}

void OutputListView::SetCurrentRow(int row) {
  row = shown_ == 0 ? -1 : std::clamp(row, -1, shown_ - 1);
  if (row != current_) {
    if (RowsInView(current_, current_) || RowsInView(row, row)) viewport()->update();
    current_ = row;
  }
  if (row < 0) return;
  // A move of the view's own bar: it decides following as a user's scroll does.
  QScrollBar* bar = verticalScrollBar();
  if (row < bar->value()) {
    bar->setValue(row);
  } else if (row >= bar->value() + VisibleRows()) {
    bar->setValue(row - VisibleRows() + 1);
  }
}

int OutputListView::RowAt(int y) const {
  if (y < 0) return -1;
  const int row = verticalScrollBar()->value() + y / rowHeight_;
  return row < shown_ ? row : -1;
}

void OutputListView::UpdateMetrics() {
  const QFontMetricsF metrics(font());
  characterWidth_ = metrics.horizontalAdvance(QLatin1Char('0'));
  rowHeight_ = static_cast<int>(std::ceil(metrics.height())) + 1;
  verticalScrollBar()->setSingleStep(1);
  UpdateVerticalRange();
  UpdateHorizontalRange();
  if (following_) ScrollToAnchor();
  viewport()->update();
}

void OutputListView::UpdateHorizontalRange() {
  sizedWidest_ = widest_;
  const qreal characters = static_cast<qreal>(std::min(widest_, kWidestSizedLine));
  const int text = static_cast<int>(std::ceil(characters * characterWidth_));
  const int width = viewport()->width();
  QScrollBar* bar = horizontalScrollBar();
  bar->setRange(0, std::max(0, text + TextMargin() - width));
  bar->setPageStep(std::max(1, width));
  bar->setSingleStep(std::max(1, static_cast<int>(std::lround(characterWidth_))));
}

void OutputListView::UpdateVerticalRange() {
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, std::max(0, shown_ - VisibleRows()));
  bar->setPageStep(VisibleRows());
}

void OutputListView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QPalette::ColorGroup group = !isEnabled()       ? QPalette::Disabled
                                     : isActiveWindow() ? QPalette::Active
                                                        : QPalette::Inactive;
  const QRect area = event->rect();
  const int top = verticalScrollBar()->value();
  const int first = top + std::max(0, area.top()) / rowHeight_;
  const int last = std::min(shown_ - 1, top + area.bottom() / rowHeight_);
  const int width = viewport()->width();
  const qreal x = TextMargin() / 2 - horizontalScrollBar()->value();
  for (int row = first; row <= last; ++row) {
    const QRect rect(0, (row - top) * rowHeight_, width, rowHeight_);
    if (row == current_) {
      painter.fillRect(rect, palette().brush(group, QPalette::Highlight));
      painter.setPen(palette().color(group, QPalette::HighlightedText));
    } else {
      painter.setPen(palette().color(group, QPalette::Text));
    }
    // Wide enough for the whole text: drawn unclipped, scrolled sideways by the offset.
    const QRectF textRect(x, rect.top(), characterWidth_ * (kWidestSizedLine + 1), rowHeight_);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, RowText(row));
  }
}

void OutputListView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateHorizontalRange();
  UpdateVerticalRange();
  // A taller or shorter viewport changes how many rows fit.
  if (following_) ScrollToAnchor();
}

void OutputListView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateMetrics();
}

void OutputListView::keyPressEvent(QKeyEvent* event) {
  const int page = VisibleRows();
  // With no row selected, a move starts from the top visible row.
  const int from = current_ >= 0 ? current_ : verticalScrollBar()->value();
  int row = -1;
  switch (event->key()) {
    case Qt::Key_Up:
      row = current_ >= 0 ? from - 1 : from;
      break;
    case Qt::Key_Down:
      row = current_ >= 0 ? from + 1 : from;
      break;
    case Qt::Key_PageUp:
      row = from - page;
      break;
    case Qt::Key_PageDown:
      row = from + page;
      break;
    case Qt::Key_Home:
      row = 0;
      break;
    case Qt::Key_End:
      row = shown_ - 1;
      break;
    default:
      // Sideways scrolling with Left and Right; other keys go on to the dialog.
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  if (shown_ > 0) SetCurrentRow(std::max(row, 0));
  event->accept();
}

void OutputListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  // A click below the last row leaves the selection as it is.
  const int row = RowAt(event->position().toPoint().y());
  if (row >= 0) SetCurrentRow(row);
  event->accept();
}

void OutputListView::mouseReleaseEvent(QMouseEvent* event) {
  // The press selected; the release of that click is ours too.
  if (event->button() == Qt::LeftButton) {
    event->accept();
  } else {
    QAbstractScrollArea::mouseReleaseEvent(event);
  }
}

void OutputListView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    QAbstractScrollArea::mouseMoveEvent(event);
    return;
  }
  // Dragging moves the selection with the pointer, scrolling at the edges.
  const int y = event->position().toPoint().y();
  const int row = verticalScrollBar()->value() + (y < 0 ? -1 : y / rowHeight_);
  if (shown_ > 0) SetCurrentRow(std::clamp(row, 0, shown_ - 1));
  event->accept();
}

}  // namespace tessaly
