#include "datagrid.h"

#include "datagriddelegate.h"
#include "datagridindicator.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

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
