#include "datagriddelegate.h"

#include "bytelimit.h"
#include "datagrid.h"

#include <QLineEdit>
#include <QStyle>

TGridDelegate::TGridDelegate(TRxDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

QWidget* TGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
  QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    // The field's width is in UTF-8 bytes.
    int width = index.data(TRecordGridModel::MaxLengthRole).toInt();
    if (width > 0) fieldlimit::LimitBytes(edit, width);
  }
  return w;
}

void TGridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  uint32_t recno = index.data(TRecordGridModel::RecNoRole).toUInt();
  if (recno != 0 && grid_->IsSelected(recno))
    option->state |= QStyle::State_Selected;
  else
    option->state &= ~QStyle::State_Selected;
}
