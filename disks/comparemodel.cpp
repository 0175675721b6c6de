#include "comparemodel.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <numeric>

#include "datafiles.h"
#include "filefacts.h"

namespace disks {

namespace {

// The number of a size text of digits and thousands separators ("1,234",
// "1.234", "1 234"); -1 for a text with a unit or none.
int64_t SizeNumber(const std::string& text) {
  int64_t n = 0;
  bool digits = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      n = n * 10 + (c - '0');
      digits = true;
    } else if (c != ',' && c != '.' && c != ' ' && c != '\'') {
      return -1;
    }
  }
  return digits ? n : -1;
}

}  // namespace

CompareModel::CompareModel(QObject* parent) : QAbstractTableModel(parent) {}

QString CompareModel::KindName(store::DiffKind kind) {
  switch (kind) {
    case store::DiffKind::New:
      return QStringLiteral("New");
    case store::DiffKind::Changed:
      return QStringLiteral("Changed");
    case store::DiffKind::Missing:
      return QStringLiteral("Missing");
    case store::DiffKind::Moved:
      return QStringLiteral("Moved");
  }
  return {};
}

QString CompareModel::DateText(int64_t unixSeconds, const QLocale& locale) {
  const QDateTime t = QDateTime::fromSecsSinceEpoch(unixSeconds);
  const QDate d = t.date();
  const QTime h = t.time();
  return browse::FileDateText(browse::PackDosDate(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second()),
                              locale);
}

void CompareModel::SetEntries(std::vector<store::DiffEntry> entries) {
  beginResetModel();
  entries_ = std::move(entries);
  ticks_.assign(entries_.size(), 0);
  order_.resize(entries_.size());
  std::iota(order_.begin(), order_.end(), size_t{0});
  counts_.fill(0);
  ticked_.fill(0);
  for (const store::DiffEntry& e : entries_) ++counts_[(size_t)e.kind];
  provisional_ = false;
  endResetModel();
  emit TicksChanged();
}

void CompareModel::AppendFound(std::vector<store::DiffEntry> more) {
  if (more.empty()) return;
  if (!provisional_ && !entries_.empty()) return;  // a result is shown: it stays
  provisional_ = true;
  const size_t first = entries_.size();
  beginInsertRows({}, (int)first, (int)(first + more.size() - 1));
  for (store::DiffEntry& e : more) {
    ++counts_[(size_t)e.kind];
    entries_.push_back(std::move(e));
  }
  ticks_.resize(entries_.size(), 0);
  order_.resize(entries_.size());
  std::iota(order_.begin() + (std::ptrdiff_t)first, order_.end(), first);
  endInsertRows();
  emit TicksChanged();
}

int CompareModel::TickedTotal() const { return std::accumulate(ticked_.begin(), ticked_.end(), 0); }

void CompareModel::TickAll(store::DiffKind kind, bool on) {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].kind == kind) ticks_[i] = on;
  ticked_[(size_t)kind] = on ? counts_[(size_t)kind] : 0;
  if (!entries_.empty()) emit dataChanged(index(0, Tick), index(rowCount() - 1, Tick), {Qt::CheckStateRole});
  emit TicksChanged();
}

std::vector<store::DiffEntry> CompareModel::TickedEntries() const {
  std::vector<store::DiffEntry> chosen;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (ticks_[i]) chosen.push_back(entries_[i]);
  return chosen;
}

int CompareModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : (int)entries_.size(); }
int CompareModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant CompareModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const kTitles[ColumnCount] = {"",     "Kind", "Path",        "Old path",
                                                   "Size", "Date", "Stored size", "Stored date"};
  return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

QVariant CompareModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= (int)entries_.size()) return {};
  const size_t at = order_[(size_t)index.row()];
  const store::DiffEntry& e = entries_[at];
  if (index.column() == Tick)
    return role == Qt::CheckStateRole && !provisional_ ? QVariant(ticks_[at] ? Qt::Checked : Qt::Unchecked) : QVariant();
  if (role == Qt::TextAlignmentRole && (index.column() == Size || index.column() == StoredSize))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case Kind:
      return KindName(e.kind);
    case Path:
      return store::FromUtf8(e.path);
    case OldPath:
      return e.kind == store::DiffKind::Moved ? store::FromUtf8(e.storedPath) : QString();
    case Size:
      return e.size < 0 ? QString() : QLocale().toString((qlonglong)e.size);
    case Date:
      return e.size < 0 ? QString() : DateText(e.mtime, QLocale());
    case StoredSize:
      return store::FromUtf8(e.storedSize);
    case StoredDate:
      return store::FromUtf8(e.storedDate);
  }
  return {};
}

Qt::ItemFlags CompareModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() == Tick && !provisional_) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool CompareModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != Tick || provisional_ || index.row() >= (int)entries_.size())
    return false;
  const size_t at = order_[(size_t)index.row()];
  const bool on = value.value<Qt::CheckState>() == Qt::Checked;
  if (bool(ticks_[at]) == on) return true;
  ticks_[at] = on;
  ticked_[(size_t)entries_[at].kind] += on ? 1 : -1;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit TicksChanged();
  return true;
}

void CompareModel::sort(int column, Qt::SortOrder order) {
  // Rows compared by what the column shows, sizes and dates as numbers;
  // equal rows keep the compare's order.
  const auto key = [&](const store::DiffEntry& a, const store::DiffEntry& b) -> int {
    const auto cmp = [](const auto& x, const auto& y) { return x < y ? -1 : y < x ? 1 : 0; };
    switch (column) {
      case Tick:
        return cmp(ticks_[size_t(&a - entries_.data())], ticks_[size_t(&b - entries_.data())]);
      case Kind:
        return cmp(KindName(a.kind), KindName(b.kind));
      case Path:
        return cmp(a.path, b.path);
      case OldPath:
        return cmp(a.kind == store::DiffKind::Moved ? a.storedPath : std::string(),
                   b.kind == store::DiffKind::Moved ? b.storedPath : std::string());
      case Size:
        return cmp(a.size, b.size);
      case Date:
        return cmp(a.size < 0 ? INT64_MIN : a.mtime, b.size < 0 ? INT64_MIN : b.mtime);
      case StoredSize:
        return cmp(std::pair(SizeNumber(a.storedSize), a.storedSize), std::pair(SizeNumber(b.storedSize), b.storedSize));
      case StoredDate:
        return cmp(a.storedDate, b.storedDate);
    }
    return 0;
  };
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<size_t> entryOf;
  for (const QModelIndex& i : before) entryOf.push_back(order_[(size_t)i.row()]);
  std::stable_sort(order_.begin(), order_.end(), [&](size_t x, size_t y) {
    const int c = key(entries_[x], entries_[y]);
    return order == Qt::AscendingOrder ? c < 0 : c > 0;
  });
  // Rows the view holds on to (the current one) follow their entries.
  std::vector<int> rowOf(order_.size());
  for (size_t r = 0; r < order_.size(); ++r) rowOf[order_[r]] = (int)r;
  QModelIndexList after;
  for (qsizetype i = 0; i < before.size(); ++i) after << index(rowOf[entryOf[(size_t)i]], before[i].column());
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace disks
