#pragma once

#include <QAbstractListModel>
#include <cstddef>
#include <cstdint>

#include "display/output_list.h"

// A Qt model over one OutputList. It reads the lines where they are (a list may hold millions:
// nothing is copied) and shows them as Latin-1, byte for byte. The list changes only on the
// window thread; Sync takes up what changed since the last call in one batch: appended lines
// as one row insert, a clear (and whatever was appended after it) as one reset or one
// in-place change. Window thread only.
namespace tessaly {

class OutputListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit OutputListModel(const OutputList& list, QObject* parent = nullptr);

  void Sync();

  const OutputList& list() const { return list_; }
  // Characters of the longest line as shown on screen (the view sizes its column from it).
  size_t WidestLine() const { return widest_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  void Rescan(size_t from);

  const OutputList& list_;
  // What the views have been told: rows, and the list's clear count when they were told.
  int shown_ = 0;
  uint64_t seenClears_ = 0;
  size_t widest_ = 0;
};

}  // namespace tessaly
