#include "shell/output_list_model.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "shell/line_display.h"

namespace tessaly {

OutputListModel::OutputListModel(const OutputList& list, QObject* parent)
    : QAbstractListModel(parent), list_(list), seenClears_(list.ClearCount()) {
  Sync();
}

void OutputListModel::Sync() {
  // Item views count rows in int; a list can never grow that far in memory, but stay safe.
  const int count = static_cast<int>(std::min<size_t>(list_.Count(), INT_MAX));
  if (list_.ClearCount() != seenClears_) {
    seenClears_ = list_.ClearCount();
    widest_ = 0;
    if (count == 0 || shown_ == 0) {
      beginResetModel();
      shown_ = count;
      endResetModel();
    } else {
      // Cleared and refilled since the last call (the statistics table is redrawn this way
      // at every drain): change the rows in place so the views keep their scroll position.
      const int kept = std::min(shown_, count);
      if (count < shown_) {
        beginRemoveRows(QModelIndex(), count, shown_ - 1);
        shown_ = count;
        endRemoveRows();
      } else if (count > shown_) {
        beginInsertRows(QModelIndex(), shown_, count - 1);
        shown_ = count;
        endInsertRows();
      }
      Q_EMIT dataChanged(index(0), index(kept - 1), {Qt::DisplayRole});
    }
    Rescan(0);
    return;
  }
  if (count > shown_) {
    const int first = shown_;
    beginInsertRows(QModelIndex(), first, count - 1);
    shown_ = count;
    endInsertRows();
    Rescan(static_cast<size_t>(first));
  }
}

void OutputListModel::Rescan(size_t from) {
  for (size_t i = from; i < static_cast<size_t>(shown_); ++i) {
    widest_ = std::max(widest_, DisplayLength(list_.Line(i)));
  }
}

int OutputListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_;
}

QVariant OutputListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_) return QVariant();
  // A clear not yet taken up: the old rows are gone from the list.
  if (list_.ClearCount() != seenClears_) return QVariant();
  const std::string_view line = list_.Line(static_cast<size_t>(index.row()));
  return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
}

}  // namespace tessaly
