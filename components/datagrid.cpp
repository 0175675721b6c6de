#include "datagrid.h"

#include "bytelimit.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>

#include <algorithm>
#include <climits>

namespace {

// Rows kept in memory; when more are read, the rows far from the newest
// read are dropped.
constexpr int kCacheRows = 4096;
// Up to this distance the private cursor steps record by record, which
// costs less than a seek from the root of the index.
constexpr int64_t kStepLimit = 64;

const QString kMarkCurrent = QStringLiteral("\u25B6");  // ▶
const QString kMarkEdit = QStringLiteral("\u270E");     // ✎
const QString kMarkInsert = QStringLiteral("\u2731");   // ✱

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), (qsizetype)s.size()); }

}  // namespace

// ---- the model --------------------------------------------------------------------

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
      return IsInsertRow(section) ? kMarkInsert : QString();
    case xbase::State::Edit:
      return kMarkEdit;
    default:
      return kMarkCurrent;
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

// ---- the indicator column -------------------------------------------------------------

// The vertical header: no numbers, a mark on the master's current row
// (▶ browsing, ✎ editing, ✱ inserting) drawn as shapes so that it does not
// depend on the font. A press on it chooses the row like a press on a cell.
class TGridIndicator : public QHeaderView {
 public:
  explicit TGridIndicator(TRxDBGrid* grid) : QHeaderView(Qt::Vertical, grid), grid_(grid) {
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
  }

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    if (!rect.isValid()) return;
    QStyleOptionHeader opt;
    initStyleOptionForIndex(&opt, logicalIndex);
    opt.rect = rect;
    opt.text.clear();
    opt.icon = QIcon();
    // The style may leave the painter clipped to nothing after a header.
    painter->save();
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    painter->restore();
    const QString mark = model() ? model()->headerData(logicalIndex, Qt::Vertical).toString() : QString();
    if (mark.isEmpty()) return;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QColor ink = palette().color(QPalette::ButtonText);
    const QPointF c = QRectF(rect).center();
    const qreal s = std::max<qreal>(4.0, std::min(rect.width(), rect.height()) * 0.6);
    if (mark == kMarkCurrent) {
      QPainterPath p;
      p.moveTo(c.x() - s * 0.3, c.y() - s * 0.5);
      p.lineTo(c.x() + s * 0.4, c.y());
      p.lineTo(c.x() - s * 0.3, c.y() + s * 0.5);
      p.closeSubpath();
      painter->fillPath(p, ink);
    } else if (mark == kMarkEdit) {
      // A pencil lying from bottom left to top right.
      painter->translate(c);
      painter->rotate(-45);
      const qreal len = s * 1.2, w = std::max<qreal>(2.0, s * 0.28);
      QPainterPath body;
      body.addRect(QRectF(-len * 0.25, -w / 2, len * 0.75, w));
      painter->fillPath(body, ink);
      QPainterPath tip;
      tip.moveTo(-len * 0.25 - 1, -w / 2);
      tip.lineTo(-len * 0.5, 0);
      tip.lineTo(-len * 0.25 - 1, w / 2);
      tip.closeSubpath();
      painter->fillPath(tip, ink);
    } else {
      // An asterisk of three strokes.
      painter->setPen(QPen(ink, std::max<qreal>(1.5, s * 0.16), Qt::SolidLine, Qt::RoundCap));
      painter->translate(c);
      for (int i = 0; i < 3; ++i) {
        painter->drawLine(QPointF(0, -s * 0.45), QPointF(0, s * 0.45));
        painter->rotate(60);
      }
    }
    painter->restore();
  }

  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    int row = logicalIndexAt(event->position().toPoint());
    if (row < 0) return;
    grid_->setFocus(Qt::MouseFocusReason);
    grid_->ChooseRow(row, grid_->PickOfClick(event->modifiers()));
  }
  void mouseMoveEvent(QMouseEvent*) override {}
  void mouseReleaseEvent(QMouseEvent*) override {}
  void mouseDoubleClickEvent(QMouseEvent*) override {}

 private:
  TRxDBGrid* grid_;
};

// Paints the selected records highlighted (the view's own selection is not
// used: it would follow rows, not records) and limits the editor to the
// field's width.
class TGridDelegate : public QStyledItemDelegate {
 public:
  explicit TGridDelegate(TRxDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      // The field's width is in UTF-8 bytes.
      int width = index.data(TRecordGridModel::MaxLengthRole).toInt();
      if (width > 0) fieldlimit::LimitBytes(edit, width);
    }
    return w;
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    uint32_t recno = index.data(TRecordGridModel::RecNoRole).toUInt();
    if (recno != 0 && grid_->IsSelected(recno))
      option->state |= QStyle::State_Selected;
    else
      option->state &= ~QStyle::State_Selected;
  }

 private:
  TRxDBGrid* grid_;
};

// ---- the grid -------------------------------------------------------------------------

TRxDBGrid::TRxDBGrid(QWidget* parent) : QTableView(parent) {
  model_ = new TRecordGridModel(this);
  indicator_ = new TGridIndicator(this);
  setVerticalHeader(indicator_);
  setModel(model_);
  setItemDelegate(new TGridDelegate(this));

  // Records are selected by the grid itself, by record number.
  setSelectionMode(QAbstractItemView::NoSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setCornerButtonEnabled(false);
  setShowGrid(true);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

  QHeaderView* titles = horizontalHeader();
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setStretchLastSection(false);
  titles->setHighlightSections(false);
  titles->setSectionsClickable(true);
  titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(titles, &QHeaderView::sectionClicked, this, [this](int column) {
    if (TitleButtons) emit TitleBtnClick(column);
  });

  ApplyMetrics();
  ApplyEditTriggers();
}

TRxDBGrid::~TRxDBGrid() = default;

void TRxDBGrid::ApplyMetrics() {
  const QFontMetrics fm(font());
  indicator_->setDefaultSectionSize(fm.height() + 4);
  indicator_->setMinimumSectionSize(fm.height() + 4);
  indicator_->setFixedWidth(std::max(12, fm.height() * 3 / 4 + 2));
}

void TRxDBGrid::ApplyEditTriggers() {
  setEditTriggers(readOnly_ ? QAbstractItemView::NoEditTriggers
                            : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                  QAbstractItemView::AnyKeyPressed);
}

void TRxDBGrid::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) ApplyMetrics();
}

void TRxDBGrid::SetDataSet(xbase::Table* master, QList<QPair<QString, QString>> columns) {
  ClearSelectedRecords();
  anchor_ = 0;
  model_->SetDataSet(master, std::move(columns));
  horizontalHeader()->setSectionsClickable(TitleButtons);
  PlaceOnMaster();
}

void TRxDBGrid::Reset() {
  model_->Reset();
  horizontalHeader()->setSectionsClickable(TitleButtons);
  PlaceOnMaster();
}

void TRxDBGrid::SyncToMaster() {
  if (model_->NeedsReset())
    Reset();
  else
    PlaceOnMaster();
}

void TRxDBGrid::PlaceOnMaster() {
  int row = model_->SyncMasterRow();
  if (row >= 0) {
    SetCurrentRow(row);
    scrollTo(model_->index(row, std::max(currentIndex().column(), 0)), QAbstractItemView::EnsureVisible);
  }
  indicator_->viewport()->update();
  viewport()->update();
}

void TRxDBGrid::SetCurrentRow(int row, int column) {
  if (row < 0 || row >= model_->rowCount() || model_->columnCount() == 0) return;
  if (column < 0 || column >= model_->columnCount()) column = std::max(currentIndex().column(), 0);
  QModelIndex idx = model_->index(row, column);
  if (currentIndex() != idx) selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
}

void TRxDBGrid::SetReadOnly(bool on) {
  if (on == readOnly_) return;
  readOnly_ = on;
  // Becoming read-only ends any cell edit without writing it: the edit of
  // the record is over by then.
  if (on && state() == QAbstractItemView::EditingState) {
    if (QWidget* editor = indexWidget(currentIndex()))
      closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    else
      setState(QAbstractItemView::NoState);
  }
  ApplyEditTriggers();
}

bool TRxDBGrid::CommitCellEdit() {
  if (state() != QAbstractItemView::EditingState) return false;
  QWidget* editor = indexWidget(currentIndex());
  if (!editor) return false;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
  return true;
}

// ---- selection -------------------------------------------------------------------------

bool TRxDBGrid::IsSelected(uint32_t recno) const {
  size_t w = recno / 64;
  return recno != 0 && w < selBits_.size() && (selBits_[w] >> (recno % 64) & 1u);
}

void TRxDBGrid::SetSelected(uint32_t recno, bool on) {
  if (recno == 0) return;
  size_t w = recno / 64;
  uint64_t bit = uint64_t(1) << (recno % 64);
  if (on) {
    if (w >= selBits_.size()) selBits_.resize(w + 1, 0);
    if (!(selBits_[w] & bit)) {
      selBits_[w] |= bit;
      ++selCount_;
    }
  } else if (w < selBits_.size() && (selBits_[w] & bit)) {
    selBits_[w] &= ~bit;
    --selCount_;
  }
}

QList<uint32_t> TRxDBGrid::SelectedRecords() const {
  QList<uint32_t> out;
  if (selCount_ == 0) return out;
  model_->ForEachRecord([&](uint32_t recno) {
    if (IsSelected(recno)) out.append(recno);
    return out.size() < selCount_;
  });
  return out;
}

void TRxDBGrid::SelectAllRecords() {
  if (!MultiSelect) return;
  model_->ForEachRecord([this](uint32_t recno) {
    SetSelected(recno, true);
    return true;
  });
  viewport()->update();
}

void TRxDBGrid::ClearSelectedRecords() {
  selBits_.clear();
  selBits_.shrink_to_fit();
  selCount_ = 0;
  viewport()->update();
}

void TRxDBGrid::RecordsRenumbered() {
  ClearSelectedRecords();
  anchor_ = 0;
}

int TRxDBGrid::AnchorRow() const {
  int row = model_->RowOfRecord(anchor_);
  return row >= 0 ? row : CurrentRowOrMaster();
}

int TRxDBGrid::CurrentRowOrMaster() const {
  if (currentIndex().isValid()) return currentIndex().row();
  return model_->MasterRow();
}

TRxDBGrid::Pick TRxDBGrid::PickOfClick(Qt::KeyboardModifiers mods) const {
  const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier;
  if (!MultiSelect) return Pick::Single;
  if (shift) return ctrl ? Pick::AddRange : Pick::Range;
  return ctrl ? Pick::Toggle : Pick::Single;
}

void TRxDBGrid::ChooseRow(int row, Pick pick, int column) {
  const int rows = model_->rowCount();
  if (rows == 0) return;
  row = std::clamp(row, 0, rows - 1);
  if (!MultiSelect && pick != Pick::Keep) pick = Pick::Single;
  const uint32_t recno = model_->RecNoAt(row);
  switch (pick) {
    case Pick::Single:
      if (recno != 0) {
        ClearSelectedRecords();
        SetSelected(recno, true);
        anchor_ = recno;
      }
      break;
    case Pick::Toggle:
      if (recno != 0) {
        SetSelected(recno, !IsSelected(recno));
        anchor_ = recno;
      }
      break;
    case Pick::Range:
    case Pick::AddRange: {
      if (anchor_ == 0) anchor_ = model_->RecNoAt(CurrentRowOrMaster());
      const int from = AnchorRow();
      if (pick == Pick::Range) ClearSelectedRecords();
      for (uint32_t r : model_->RecNosOfRows(std::min(from, row), std::max(from, row))) SetSelected(r, true);
      if (anchor_ == 0) anchor_ = recno;
      break;
    }
    case Pick::Keep:
      break;
  }
  SetCurrentRow(row, column);
  scrollTo(model_->index(row, std::max(currentIndex().column(), 0)), QAbstractItemView::EnsureVisible);
  viewport()->update();
  // Last: the owner's answer may reset the rows. Choosing the master's own row again must not move it: a move would end
  // an edit in progress.
  if (row != model_->MasterRow()) emit CurrentRowChosen(row);
}

int TRxDBGrid::PageRows() const {
  int h = std::max(1, indicator_->defaultSectionSize());
  return std::max(1, viewport()->height() / h);
}

// ---- input -----------------------------------------------------------------------------

void TRxDBGrid::keyPressEvent(QKeyEvent* event) {
  const int rows = model_->rowCount();
  const Qt::KeyboardModifiers mods = event->modifiers();
  const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier;
  const int here = CurrentRowOrMaster();
  int target;
  switch (event->key()) {
    case Qt::Key_Up:
      target = here - 1;
      break;
    case Qt::Key_Down:
      target = here + 1;
      break;
    case Qt::Key_PageUp:
      target = here - PageRows();
      break;
    case Qt::Key_PageDown:
      target = here + PageRows();
      break;
    case Qt::Key_Home:
      target = 0;
      break;
    case Qt::Key_End:
      target = rows - 1;
      break;
    case Qt::Key_Space:
      if (ctrl && here >= 0) {
        ChooseRow(here, MultiSelect ? Pick::Toggle : Pick::Single);
        event->accept();
        return;
      }
      QTableView::keyPressEvent(event);
      return;
    case Qt::Key_A:
      if (ctrl && !shift) {
        SelectAllRecords();
        event->accept();
        return;
      }
      QTableView::keyPressEvent(event);
      return;
    default:
      QTableView::keyPressEvent(event);
      return;
  }
  event->accept();
  if (rows == 0) return;
  target = std::clamp(target, 0, rows - 1);
  if (target == here) return;
  // Shift extends the selection from the anchor, Ctrl moves without
  // selecting, a plain move selects the record moved to.
  Pick pick = Pick::Single;
  if (MultiSelect && shift)
    pick = Pick::Range;
  else if (MultiSelect && ctrl)
    pick = Pick::Keep;
  ChooseRow(target, pick);
}

void TRxDBGrid::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const QModelIndex idx = indexAt(event->position().toPoint());
  event->accept();
  if (!idx.isValid() || event->button() != Qt::LeftButton) return;
  ChooseRow(idx.row(), PickOfClick(event->modifiers()), idx.column());
}

void TRxDBGrid::mouseMoveEvent(QMouseEvent* event) {
  // Dragging does not select: the view's own drag selection would follow rows.
  if (event->buttons() == Qt::NoButton) QTableView::mouseMoveEvent(event);
}

void TRxDBGrid::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

void TRxDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  QModelIndex idx = indexAt(event->position().toPoint());
  if (idx.isValid() && event->button() == Qt::LeftButton) {
    emit doubleClicked(idx);
    if (!readOnly_ && edit(idx, QAbstractItemView::DoubleClicked, event)) return;
  }
  // The first click chose the row already; a second one elsewhere counts.
  if (!idx.isValid() || idx.row() != currentIndex().row()) mousePressEvent(event);
}

void TRxDBGrid::keyboardSearch(const QString&) {
  // Typing never searches the rows: that would read the whole table.
}
