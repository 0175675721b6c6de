#include "zipentries.h"

#include <QLocale>

void TZipEntries::SetEntries(std::vector<zip::ZipDirEntry> entries) {
  beginResetModel();
  entries_ = std::move(entries);
  endResetModel();
}

QString TZipEntries::FileName(int row) const {
  if (row < 0 || row >= (int)entries_.size()) return {};
  return entries_[(size_t)row].name.toLower();
}

int TZipEntries::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (int)std::min<size_t>(entries_.size(), (size_t)INT_MAX);
}

int TZipEntries::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QString TZipEntries::DateTimeText(const zip::ZipDirEntry& e) {
  const QDateTime when = e.modified();
  if (!when.isValid()) return {};
  const QLocale locale;
  return locale.toString(when.date(), QLocale::ShortFormat) + "  " + locale.toString(when.time(), QLocale::ShortFormat);
}

QVariant TZipEntries::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= (int)entries_.size()) return {};
  const zip::ZipDirEntry& e = entries_[(size_t)index.row()];
  if (role == Qt::TextAlignmentRole)
    return index.column() == 1 || index.column() == 2 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case 0:
      return e.name.toLower();
    case 1:
      return QString::number(e.compressedSize);
    case 2:
      return QString::number(e.uncompressedSize);
    case 3:
      return DateTimeText(e);
  }
  return {};
}

QVariant TZipEntries::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const titles[] = {"File Name", "Comp", "Uncomp", "Date/Time"};
  return section >= 0 && section < 4 ? QString(titles[section]) : QVariant();
}
