#include "searchresults.h"

#include <algorithm>

namespace {

const char* const kTitles[] = {"", "Catalog", "File Title", "File Name", "File Size", "File Date"};

}  // namespace

TSearchResults::TSearchResults(search::SearchService& source, QObject* parent)
    : QAbstractTableModel(parent), source_(source) {}

void TSearchResults::SetHits(std::vector<uint32_t> hits) {
  beginResetModel();
  hits_ = std::move(hits);
  // Nothing found: one empty row under the titles.
  emptyRows_ = 1;
  blocks_.clear();
  recent_.clear();
  endResetModel();
}

void TSearchResults::Clear() {
  beginResetModel();
  hits_.clear();
  emptyRows_ = 10;
  blocks_.clear();
  recent_.clear();
  endResetModel();
}

uint32_t TSearchResults::RecordAt(int row) const {
  return row >= 0 && row < (int)hits_.size() ? hits_[(size_t)row] : 0;
}

int TSearchResults::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return hits_.empty() ? emptyRows_ : (int)hits_.size();
}

int TSearchResults::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 6; }

const TSearchResults::Block& TSearchResults::BlockOf(int block) const {
  auto found = blocks_.find(block);
  if (found != blocks_.end()) {
    recent_.remove(block);
    recent_.push_front(block);
    return found->second;
  }
  const size_t first = (size_t)block * kBlockRows;
  const size_t last = std::min(hits_.size(), first + kBlockRows);
  Block b;
  b.rows = source_.Texts(std::vector<uint32_t>(hits_.begin() + (qsizetype)first, hits_.begin() + (qsizetype)last));
  if (blocks_.size() >= kBlocksKept) {
    blocks_.erase(recent_.back());
    recent_.pop_back();
  }
  recent_.push_front(block);
  return blocks_.emplace(block, std::move(b)).first->second;
}

QString TSearchResults::Text(int row, int column) const {
  if (row < 0 || row >= (int)hits_.size() || column < 1 || column > 5) return {};
  const Block& b = BlockOf(row / kBlockRows);
  return b.rows[(size_t)(row % kBlockRows)][(size_t)(column - 1)];
}

QVariant TSearchResults::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  const QString text = Text(index.row(), index.column());
  if (role == Qt::ToolTipRole && index.column() != 3) return {};
  return text;
}

QVariant TSearchResults::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal && section >= 0 && section < 6) return QString::fromLatin1(kTitles[section]);
  return QString();
}
