// The rows of the search window: one per record found, read through the
// search service a block at a time when the grid shows them, so that
// 250,000 hits cost the window their record numbers and a few blocks of
// text.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

#include "searchservice.h"

class TSearchResults : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `source` reads the texts of the records found; it outlives the model.
  explicit TSearchResults(search::SearchService& source, QObject* parent = nullptr);

  // The hits of a search (record numbers, in the order shown); the search
  // must not have ended while they are shown.
  void SetHits(std::vector<uint32_t> hits);
  // Back to the empty grid of a window just opened.
  void Clear();
  int HitCount() const { return (int)hits_.size(); }
  // The record of a row, 0 for an empty row.
  uint32_t RecordAt(int row) const;
  // The cell's text (column 1 to 5) as the grid shows it.
  QString Text(int row, int column) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  static constexpr int kBlockRows = 256;
  static constexpr size_t kBlocksKept = 64;
  struct Block {
    std::vector<search::HitTexts> rows;
  };
  const Block& BlockOf(int block) const;

  search::SearchService& source_;
  std::vector<uint32_t> hits_;
  int emptyRows_ = 10;  // shown when there are no hits
  mutable std::unordered_map<int, Block> blocks_;
  mutable std::list<int> recent_;  // most recently used first
};
