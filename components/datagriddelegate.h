// The cell painter and editor of the record grid: paints the selected
// records highlighted (the view's own selection is not used: it would follow
// rows, not records) and limits the editor to the field's width.
#pragma once

#include <QStyledItemDelegate>

class TRxDBGrid;

class TGridDelegate : public QStyledItemDelegate {
 public:
  explicit TGridDelegate(TRxDBGrid* grid);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  TRxDBGrid* grid_;
};
