// The indicator column of the record grid: its vertical header, with no
// numbers and a mark on the master's current row (▶ browsing, ✎ editing,
// ✱ inserting) drawn as shapes so that it does not depend on the font. A
// press on it chooses the row like a press on a cell.
#pragma once

#include <QHeaderView>

class TRxDBGrid;

class TGridIndicator : public QHeaderView {
 public:
  explicit TGridIndicator(TRxDBGrid* grid);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent*) override {}
  void mouseReleaseEvent(QMouseEvent*) override {}
  void mouseDoubleClickEvent(QMouseEvent*) override {}

 private:
  TRxDBGrid* grid_;
};
