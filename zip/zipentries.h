// The grid model of the zip window: one row per archive entry, with its
// name in lower case, both sizes and its date and time. Rows are made when
// they are shown, so an archive of 100,000 entries fills it at once.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "ziplister.h"

class TZipEntries : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetEntries(std::vector<zip::ZipDirEntry> entries);
  const std::vector<zip::ZipDirEntry>& Entries() const { return entries_; }
  // The "File Name" cell of a row: the entry's name in lower case.
  QString FileName(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // The date and time of an entry as the grid shows them: the short date,
  // two blanks and the short time ("" when the stored date is not valid).
  static QString DateTimeText(const zip::ZipDirEntry& e);

 private:
  std::vector<zip::ZipDirEntry> entries_;
};
