#include "datagridmodel.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// Rows kept in memory; when more are read, the rows far from the newest
// read are dropped.
constexpr int kCacheRows = 4096;
// Up to this distance the private cursor steps record by record, which
// costs less than a seek from the root of the index.
constexpr int64_t kStepLimit = 64;

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), (qsizetype)s.size()); }

}  // namespace

TRecordGridModel::TRecordGridModel(QObject* parent) : QAbstractTableModel(parent) {
  releaseTimer_.setSingleShot(true);
  releaseTimer_.setInterval(0);
  connect(&releaseTimer_, &QTimer::timeout, this, [this] { ReleaseCursor(); });
}

TRecordGridModel::~TRecordGridModel() { ReleaseCursor(); }

void TRecordGridModel::SetDataSet(xbase::Table* master, QList<QPair<QString, QString>> columns) {
  beginResetModel();
  ReleaseCursor();
  cursor_.reset();
  master_ = master;
  columns_.clear();
  for (const auto& c : columns) columns_.append(Column{c.first, c.second, c.first.toStdString()});
  // The private cursor lives on the master's environment, so that it
  // shares the master's open file and sees its changes at once.
  if (master_) cursor_ = std::make_unique<xbase::Table>(master_->Env());
  reads_ = 0;
  Rebuild();
  endResetModel();
}

QString TRecordGridModel::ColumnField(int column) const {
  return column >= 0 && column < columns_.size() ? columns_[column].field : QString();
}

TRecordGridModel::Snapshot TRecordGridModel::TakeSnapshot() const {
  if (!master_ || !master_->Active()) return {};
  return Snapshot{master_->DatabaseName(), master_->TableName(), master_->IndexTag(), master_->Query()};
}

void TRecordGridModel::Reset() {
  beginResetModel();
  Rebuild();
  endResetModel();
}

void TRecordGridModel::Rebuild() {
  ReleaseCursor();
  cache_.clear();
  lastError_.clear();
  cursorFailed_ = false;
  snap_ = TakeSnapshot();
  count_ = 0;
  insertRow_ = false;
  state_ = master_ ? master_->GetState() : xbase::State::Inactive;
  if (master_ && master_->Active()) {
    try {
      count_ = (int)std::min<int64_t>(master_->RecordCount(), INT_MAX - 1);
    } catch (const std::exception& e) {
      count_ = 0;
      Fail(QString::fromUtf8(e.what()));
    }
    insertRow_ = master_->GetState() == xbase::State::Insert;
  }
  SyncMasterRow();
}

bool TRecordGridModel::NeedsReset() const {
  if (!master_) return count_ != 0 || insertRow_;
  if (!(TakeSnapshot() == snap_)) return true;
  // Leaving Edit or Insert may have written a record, which can move it.
  if (master_->GetState() != state_) return true;
  if (!master_->Active()) return count_ != 0;
  try {
    if (std::min<int64_t>(master_->RecordCount(), INT_MAX - 1) != count_) return true;
    // A record written by another cursor can change the order without
    // changing the count: the master's record is then not where the rows
    // read before say it is.
    if (state_ != xbase::State::Insert && master_->RecNo() != 0) {
      int64_t i = master_->RecordIndex();
      auto it = cache_.constFind((int)i);
      if (i >= 0 && i < count_ && it != cache_.constEnd() && it->recno != master_->RecNo()) return true;
    }
  } catch (const std::exception&) {
  }
  return false;
}

int TRecordGridModel::SyncMasterRow() {
  masterRow_ = -1;
  if (!master_ || !master_->Active()) return -1;
  if (master_->GetState() == xbase::State::Insert) {
    if (insertRow_) masterRow_ = count_;
    return masterRow_;
  }
  try {
    int64_t i = master_->RecordIndex();
    if (i >= 0 && i < count_) masterRow_ = (int)i;
  } catch (const std::exception& e) {
    Fail(QString::fromUtf8(e.what()));
  }
  return masterRow_;
}

void TRecordGridModel::Fail(const QString& message) const {
  if (message == lastError_) return;
  lastError_ = message;
  // Told from the event loop: the reader may be in the middle of painting.
  QMetaObject::invokeMethod(const_cast<TRecordGridModel*>(this), "ReadError", Qt::QueuedConnection,
                            Q_ARG(QString, message));
}

void TRecordGridModel::ReleaseCursor() const {
  releaseTimer_.stop();
  cursorRow_ = -1;
  cursorFailed_ = false;
  if (cursor_ && cursor_->Active()) {
    try {
      cursor_->Close();
    } catch (const std::exception&) {
      // Nothing was changed through this cursor: closing it loses nothing.
    }
  }
}

bool TRecordGridModel::OpenCursor() const {
  if (!cursor_ || !master_ || !master_->Active() || snap_.file.empty()) return false;
  if (cursor_->Active()) return true;
  if (cursorFailed_) return false;
  try {
    cursor_->SetDatabaseName(snap_.folder);
    cursor_->SetTableName(snap_.file);
    cursor_->SetIndexTag(snap_.tag);
    cursor_->SetQuery(snap_.query);
    cursor_->Open();
  } catch (const std::exception& e) {
    // Stays closed until the event loop comes back, so a failing open is
    // not repeated for every cell.
    cursorFailed_ = true;
    releaseTimer_.start();
    Fail(QString::fromUtf8(e.what()));
    return false;
  }
  cursorRow_ = cursor_->RecNo() != 0 ? 0 : -1;
  releaseTimer_.start();
  return true;
}

bool TRecordGridModel::MoveCursorTo(int64_t row) const {
  if (cursorRow_ >= 0) {
    int64_t d = row - cursorRow_;
    if (d == 0) return true;
    if (d > 0 && d <= kStepLimit) {
      for (int64_t i = 0; i < d; ++i) {
        cursor_->Next();
        if (cursor_->Eof()) {
          cursorRow_ = -1;
          return false;
        }
      }
      cursorRow_ = row;
      return true;
    }
    if (d < 0 && -d <= kStepLimit) {
      for (int64_t i = 0; i < -d; ++i) {
        cursor_->Prior();
        if (cursor_->Bof()) {
          cursorRow_ = -1;
          return false;
        }
      }
      cursorRow_ = row;
      return true;
    }
  }
  if (!cursor_->MoveToIndex(row)) {
    cursorRow_ = -1;
    return false;
  }
  cursorRow_ = row;
  return true;
}

const TRecordGridModel::Row* TRecordGridModel::Fetch(int row) const {
  if (row < 0 || row >= count_) return nullptr;
  auto it = cache_.constFind(row);
  if (it != cache_.constEnd()) return &it.value();
  if (!OpenCursor()) return nullptr;
  Row r;
  try {
    if (!MoveCursorTo(row)) return nullptr;
    r.recno = cursor_->RecNo();
    for (const Column& c : columns_) {
      if (cursor_->FieldIndex(c.fieldUtf8) < 0) {
        r.texts.append(QString());
        continue;
      }
      r.texts.append(FromUtf8(cursor_->FieldByName(c.fieldUtf8)));
    }
  } catch (const std::exception& e) {
    Fail(QString::fromUtf8(e.what()));
    ReleaseCursor();
    cursorFailed_ = true;
    releaseTimer_.start();
    return nullptr;
  }
  ++reads_;
  if (cache_.size() >= kCacheRows) {
    for (auto c = cache_.begin(); c != cache_.end();) {
      if (std::abs(c.key() - row) > kCacheRows / 2)
        c = cache_.erase(c);
      else
        ++c;
    }
    if (cache_.size() >= kCacheRows) cache_.clear();
  }
  return &cache_.insert(row, std::move(r)).value();
}

QString TRecordGridModel::MasterText(int column) const {
  if (!master_ || column < 0 || column >= columns_.size()) return {};
  const std::string& f = columns_[column].fieldUtf8;
  try {
    if (master_->FieldIndex(f) < 0) return {};
    return FromUtf8(master_->FieldByName(f));
  } catch (const std::exception& e) {
    Fail(QString::fromUtf8(e.what()));
    return {};
  }
}

bool TRecordGridModel::Editable(int row) const {
  if (!master_ || !master_->Active()) return false;
  switch (master_->GetState()) {
    case xbase::State::Insert:
      return IsInsertRow(row);
    case xbase::State::Edit: {
      if (row != masterRow_ || row < 0) return false;
      const Row* r = Fetch(row);
      return r && r->recno == master_->RecNo();
    }
    default:
      return false;
  }
}

uint32_t TRecordGridModel::RecNoAt(int row) const {
  const Row* r = Fetch(row);
  return r ? r->recno : 0;
}

std::vector<uint32_t> TRecordGridModel::RecNosOfRows(int first, int last) const {
  std::vector<uint32_t> out;
  first = std::max(first, 0);
  last = std::min(last, count_ - 1);
  if (first > last || !OpenCursor()) return out;
  out.reserve((size_t)(last - first + 1));
  try {
    for (int row = first; row <= last; ++row) {
      auto it = cache_.constFind(row);
      if (it != cache_.constEnd()) {
        out.push_back(it->recno);
        continue;
      }
      if (!MoveCursorTo(row)) break;
      out.push_back(cursor_->RecNo());
    }
  } catch (const std::exception& e) {
    Fail(QString::fromUtf8(e.what()));
    ReleaseCursor();
  }
  return out;
}

void TRecordGridModel::ForEachRecord(const std::function<bool(uint32_t)>& visit) const {
  if (count_ == 0 || !OpenCursor()) return;
  try {
    // In large reads, the cursor left where it is.
    cursor_->ForEachRecno(visit);
  } catch (const std::exception& e) {
    Fail(QString::fromUtf8(e.what()));
  }
  cursorRow_ = -1;
}

int TRecordGridModel::RowOfRecord(uint32_t recno) const {
  if (recno == 0) return -1;
  for (auto it = cache_.constBegin(); it != cache_.constEnd(); ++it)
    if (it->recno == recno) return it.key();
  if (!OpenCursor()) return -1;
  try {
    cursorRow_ = -1;
    if (!cursor_->GotoBookmark(xbase::Bookmark{recno})) return -1;
    int64_t i = cursor_->RecordIndex();
    if (i < 0 || i >= count_) return -1;
    cursorRow_ = i;
    return (int)i;
  } catch (const std::exception& e) {
    Fail(QString::fromUtf8(e.what()));
    return -1;
  }
}

int TRecordGridModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return count_ + (insertRow_ ? 1 : 0);
}

int TRecordGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (int)columns_.size();
}

QVariant TRecordGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columns_.size()) return {};
  const int row = index.row(), col = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
      if (IsInsertRow(row))
        return master_ && master_->GetState() == xbase::State::Insert ? MasterText(col) : QString();
      const Row* r = Fetch(row);
      if (!r) return QString();
      // The record being edited shows its edit buffer.
      if (row == masterRow_ && master_->GetState() == xbase::State::Edit && r->recno == master_->RecNo())
        return MasterText(col);
      return r->texts.value(col);
    }
    case RecNoRole: {
      if (IsInsertRow(row)) return 0u;
      const Row* r = Fetch(row);
      return r ? r->recno : 0u;
    }
    case MaxLengthRole: {
      if (!master_ || !master_->Active()) return 0;
      int fi = master_->FieldIndex(columns_[col].fieldUtf8);
      if (fi < 0) return 0;
      const xbase::FieldDef& f = master_->Fields()[(size_t)fi];
      return f.type == 'M' ? 0 : f.width;
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
      return {};
  }
}

QVariant TRecordGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columns_.size()) return {};
    if (role == Qt::DisplayRole) return columns_[section].title;
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
  }
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  if (role != Qt::DisplayRole) return {};
  if (section < 0 || section != masterRow_ || !master_ || !master_->Active()) return QString();
  switch (master_->GetState()) {
    case xbase::State::Insert:
      return IsInsertRow(section) ? kGridMarkInsert : QString();
    case xbase::State::Edit:
      return kGridMarkEdit;
    default:
      return kGridMarkCurrent;
  }
}

Qt::ItemFlags TRecordGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (Editable(index.row())) f |= Qt::ItemIsEditable;
  return f;
}

bool TRecordGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() >= columns_.size()) return false;
  if (!Editable(index.row())) return false;
  const std::string text = value.toString().toStdString();
  const std::string& field = columns_[index.column()].fieldUtf8;
  try {
    // An editor confirmed without a change leaves the record unmodified, so
    // that leaving it cancels rather than posts.
    const int fi = master_->FieldIndex(field);
    if (fi < 0) return false;
    if (master_->FieldByName(field) == text) return true;
    // The editor takes no more than the field holds; text that comes
    // another way and does not fit is refused, never cut without a word.
    const xbase::FieldDef& def = master_->Fields()[(size_t)fi];
    if (def.type != 'M' && text.size() > (size_t)def.width) {
      emit WriteRefused(QString("The text is %1 bytes long; the field %2 holds at most %3 bytes. It was not taken.")
                            .arg(text.size())
                            .arg(QString::fromStdString(def.name))
                            .arg(def.width));
      return false;
    }
    master_->SetFieldByName(field, text);
  } catch (const std::exception& e) {
    emit WriteRefused(QString::fromUtf8(e.what()));
    return false;
  }
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}
