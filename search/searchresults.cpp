#include "searchresults.h"

#include <algorithm>

#include "datafiles.h"
#include "schema.h"
#include "xbase.h"

namespace {

const char* const kFields[] = {store::kFieldCatalog, store::kFieldTitle, store::kFieldName, store::kFieldSize,
                               store::kFieldDate};
const char* const kTitles[] = {"", "Catalog", "File Title", "File Name", "File Size", "File Date"};

}  // namespace

TSearchResults::TSearchResults(QObject* parent) : QAbstractTableModel(parent) {}

void TSearchResults::SetHits(xbase::Table* table, std::vector<uint32_t> hits) {
  beginResetModel();
  table_ = table;
  hits_ = std::move(hits);
  // Nothing found: one empty row under the titles.
  emptyRows_ = 1;
  blocks_.clear();
  recent_.clear();
  endResetModel();
}

void TSearchResults::Clear() {
  beginResetModel();
  table_ = nullptr;
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
  Block b;
  const size_t first = (size_t)block * kBlockRows;
  const size_t last = std::min(hits_.size(), first + kBlockRows);
  std::vector<uint32_t> records(hits_.begin() + (qsizetype)first, hits_.begin() + (qsizetype)last);
  b.rows.assign(records.size(), QStringList{QString(), QString(), QString(), QString(), QString()});
  if (table_ != nullptr && table_->Active()) {
    int fields[5];
    for (int f = 0; f < 5; ++f) fields[f] = table_->FieldIndex(kFields[f]);
    size_t i = 0;
    try {
      // Records read in file order, handed back in the order asked.
      table_->ForEachRecordOf(records, [&](const xbase::RecordRef& r) {
        while (i < records.size() && records[i] != r.recno) ++i;
        if (i == records.size()) return false;
        for (int f = 0; f < 5; ++f) {
          const std::string_view v = fields[f] >= 0 ? r.Text(fields[f]) : std::string_view();
          b.rows[i][f] = QString::fromUtf8(v.data(), (qsizetype)v.size());
        }
        ++i;
        return true;
      });
    } catch (const std::exception&) {
      // A record that cannot be read shows empty cells; the search itself
      // has said what it could not read.
    }
  }
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
  return b.rows[(size_t)(row % kBlockRows)][column - 1];
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
