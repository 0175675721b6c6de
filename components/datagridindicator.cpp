#include "datagridindicator.h"

#include "datagrid.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionHeader>

#include <algorithm>

TGridIndicator::TGridIndicator(TRxDBGrid* grid) : QHeaderView(Qt::Vertical, grid), grid_(grid) {
  setSectionsClickable(false);
  setHighlightSections(false);
  setSectionResizeMode(QHeaderView::Fixed);
}

void TGridIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
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
  if (mark == kGridMarkCurrent) {
    QPainterPath p;
    p.moveTo(c.x() - s * 0.3, c.y() - s * 0.5);
    p.lineTo(c.x() + s * 0.4, c.y());
    p.lineTo(c.x() - s * 0.3, c.y() + s * 0.5);
    p.closeSubpath();
    painter->fillPath(p, ink);
  } else if (mark == kGridMarkEdit) {
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

void TGridIndicator::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  int row = logicalIndexAt(event->position().toPoint());
  if (row < 0) return;
  grid_->setFocus(Qt::MouseFocusReason);
  grid_->ChooseRow(row, grid_->PickOfClick(event->modifiers()));
}
