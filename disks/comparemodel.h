// The entries of a compare with the disk as the grid shows them: one row
// per entry with its tick, sorted by any column without copying the
// entries (a million rows are one vector and an order of indices).
#pragma once

#include <QAbstractTableModel>
#include <QLocale>

#include <array>
#include <cstdint>
#include <vector>

#include "catalogdiff.h"

namespace disks {

class CompareModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { Tick, Kind, Path, OldPath, Size, Date, StoredSize, StoredDate, ColumnCount };
  static constexpr int kKinds = 4;  // New, Changed, Missing, Moved

  explicit CompareModel(QObject* parent = nullptr);

  // The entries of a compare, none ticked.
  void SetEntries(std::vector<store::DiffEntry> entries);
  void Clear() { SetEntries({}); }
  // Entries met while a compare runs, shown at once and not to be ticked:
  // the compare's result replaces them (SetEntries), as some new files
  // turn out to be moved ones.
  void AppendFound(std::vector<store::DiffEntry> more);
  bool Provisional() const { return provisional_; }
  // The word the grid and the counts give a kind: "New", "Changed", ...
  static QString KindName(store::DiffKind kind);
  // The FLDATE text a record gets of a file's time in `locale` (as an add
  // of files writes it), so the grid shows both dates in one form.
  static QString DateText(int64_t unixSeconds, const QLocale& locale);

  int Count(store::DiffKind kind) const { return counts_[(size_t)kind]; }
  int Ticked(store::DiffKind kind) const { return ticked_[(size_t)kind]; }
  int TickedTotal() const;
  // Ticks or unticks every entry of a kind.
  void TickAll(store::DiffKind kind, bool on);
  // The ticked entries, in the order of the compare.
  std::vector<store::DiffEntry> TickedEntries() const;
  const store::DiffEntry& EntryAt(int row) const { return entries_[order_[(size_t)row]]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  void sort(int column, Qt::SortOrder order) override;

 signals:
  // The ticks changed (counts per kind to be shown again).
  void TicksChanged();

 private:
  std::vector<store::DiffEntry> entries_;
  std::vector<uint8_t> ticks_;   // by entry
  std::vector<size_t> order_;    // row -> entry
  std::array<int, kKinds> counts_{}, ticked_{};
  bool provisional_ = false;
};

}  // namespace disks
