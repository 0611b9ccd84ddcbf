#include "shell/output_list_view.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>

#include "shell/line_display.h"

namespace tessaly {
namespace {

// Longest line the column is sized for; a longer one is still shown from its start.
constexpr size_t kWidestSizedLine = 8192;
constexpr qreal kSmallestPointSize = 6;
constexpr qreal kPointSizeStep = 0.5;

// Draws a line with its control bytes made visible (see line_display.h).
class LineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& value, const QLocale&) const override {
    return DisplayText(value.toString());
  }
};

}  // namespace

OutputListView::OutputListView(const OutputList& list, QWidget* parent)
    : QTableView(parent), model_(list, this) {
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  setShowGrid(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setCornerButtonEnabled(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab goes on to the next control, as from any list box, instead of moving between cells.
  setTabKeyNavigation(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setItemDelegate(new LineDelegate(this));
  setModel(&model_);
  // Only a move of the view's own scroll bar (by the user, the keyboard, or a shrinking list)
  // decides whether it follows; a list growing underneath does not.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (!scrolling_) following_ = value >= verticalScrollBar()->maximum();
  });
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
  // The delegate keeps a small margin on both sides of the text.
  return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
}

int OutputListView::TextWidth() const {
  // Known before the view is first shown: the frame and the vertical bar, which is always on.
  return contentsRect().width() -
         style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar()) -
         TextMargin();
}

void OutputListView::Sync() {
  model_.Sync();
  // The column follows the longest line; a resize or a new font sizes it anew by itself.
  if (model_.WidestLine() != sizedWidest_) UpdateColumnWidth();
  if (following_ &&
      (model_.list().Anchor() != scrolledAnchor_ || model_.rowCount() != scrolledRows_)) {
    ScrollToAnchor();
  }
}

void OutputListView::ScrollToAnchor() {
  const int64_t anchor = model_.list().Anchor();
  scrolledAnchor_ = anchor;
  scrolledRows_ = model_.rowCount();
  if (anchor < 0 || anchor >= model_.rowCount()) return;
  // Lay the new rows out now, so the scroll range already includes them.
  executeDelayedItemsLayout();
  // Down only: a user who scrolled sideways to read a long line keeps that place.
  const int across = horizontalScrollBar()->value();
  scrolling_ = true;
  scrollTo(model_.index(static_cast<int>(anchor)), QAbstractItemView::PositionAtBottom);
  scrolling_ = false;
  horizontalScrollBar()->setValue(across);
}

void OutputListView::UpdateMetrics() {
  const QFontMetricsF metrics(font());
  characterWidth_ = metrics.horizontalAdvance(QLatin1Char('0'));
  verticalHeader()->setDefaultSectionSize(static_cast<int>(std::ceil(metrics.height())) + 1);
  columnWidth_ = -1;
  UpdateColumnWidth();
}

void OutputListView::UpdateColumnWidth() {
  sizedWidest_ = model_.WidestLine();
  const qreal characters = static_cast<qreal>(std::min(sizedWidest_, kWidestSizedLine));
  const int text = static_cast<int>(std::ceil(characters * characterWidth_));
  const int width = std::max(text + TextMargin(), viewport()->width());
  if (width == columnWidth_) return;
  columnWidth_ = width;
  setColumnWidth(0, width);
}

void OutputListView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  UpdateColumnWidth();
  // A scroll bar that came or went changes how many rows fit.
  if (following_) ScrollToAnchor();
}

void OutputListView::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateMetrics();
}

}  // namespace tessaly
