#include "pathlabel.h"

#include <QDir>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QString kEllipsis = QStringLiteral("\u2026");

bool IsSlash(QChar c) { return c == u'\\' || c == u'/'; }

bool StartsWithDrive(const QString& path) {
  return path.size() >= 2 && path[1] == u':' &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

// The separator the path is written with.
QChar SeparatorOf(const QString& path) {
  if (StartsWithDrive(path) && path.size() > 2 && IsSlash(path[2])) return path[2];
  if (path.size() > 1 && IsSlash(path[0]) && path[1] == path[0]) return path[0];
  const QChar native = QDir::separator();
  if (path.contains(native)) return native;
  return path.contains(u'\\') ? QChar(u'\\') : QChar(u'/');
}

// The part of the path that is always shown: "C:\", "\\server\share\", "/".
QString RootPart(const QString& path, QChar sep) {
  if (StartsWithDrive(path)) return path.left(path.size() > 2 && path[2] == sep ? 3 : 2);
  if (path.size() > 1 && path[0] == sep && path[1] == sep) {
    // Network share: the two names after the leading separators.
    int found = 0;
    for (qsizetype i = 2; i < path.size(); ++i)
      if (path[i] == sep && ++found == 2) return path.left(i + 1);
    return path;
  }
  if (path.startsWith(sep)) return QString(sep);
  return QString();
}

}  // namespace

TFileLabel::TFileLabel(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TFileLabel::setPath(const QString& path) {
  if (path == path_) return;
  path_ = path;
  refresh();
}

QString TFileLabel::shownText() const {
  return Shorten(QDir::toNativeSeparators(path_), fontMetrics(), contentsRect().width());
}

bool TFileLabel::isShortened() const { return shownText() != QDir::toNativeSeparators(path_); }

QString TFileLabel::Shorten(const QString& path, const QFontMetrics& fm, int width) {
  if (path.isEmpty() || fm.horizontalAdvance(path) <= width) return path;

  const QChar sep = SeparatorOf(path);
  const QString root = RootPart(path, sep);
  QString rest = path.mid(root.size());
  QString trailing;
  if (rest.endsWith(sep)) {  // a folder path: its last folder acts as the name
    trailing = sep;
    rest.chop(1);
  }
  QStringList folders = rest.split(sep, Qt::SkipEmptyParts);
  if (folders.isEmpty()) return fm.elidedText(path, Qt::ElideMiddle, width);
  const QString name = folders.takeLast() + trailing;
  const qsizetype n = folders.size();

  const auto fits = [&](const QString& text) { return fm.horizontalAdvance(text) <= width; };

  // Drop folders from the middle: keep the first folder for orientation and
  // then as many of those next to the file name as there is room for.
  for (qsizetype keep = n - 1; keep >= 0; --keep) {
    const qsizetype head = keep >= 2 ? 1 : 0;
    const qsizetype tail = keep - head;
    QStringList parts = folders.mid(0, head);
    parts.append(kEllipsis);
    parts.append(folders.mid(n - tail, tail));
    parts.append(name);
    const QString candidate = root + parts.join(sep);
    if (fits(candidate)) return candidate;
  }

  // Not even root + "…" + name fits: shorten the name itself in its middle,
  // which keeps its start and its extension.
  const QString prefix = n > 0 ? root + kEllipsis + sep : root;
  const int room = width - fm.horizontalAdvance(prefix);
  if (room > 0) {
    const QString elided = fm.elidedText(name, Qt::ElideMiddle, room);
    if (elided.size() > 1) return prefix + elided;
  }
  // The label is narrower than a few characters: show what fits of it all.
  return fm.elidedText(prefix + name, Qt::ElideMiddle, width);
}

QSize TFileLabel::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const QMargins m = contentsMargins();
  return QSize(fm.averageCharWidth() * 40 + m.left() + m.right(),
               fm.height() + 2 + m.top() + m.bottom());
}

QSize TFileLabel::minimumSizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const QMargins m = contentsMargins();
  return QSize(fm.horizontalAdvance(kEllipsis) * 3 + m.left() + m.right(),
               fm.height() + 2 + m.top() + m.bottom());
}

void TFileLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The colour comes from the palette the label inherits, so a parent panel
  // that changes its WindowText colour recolours the path too.
  painter.setPen(palette().color(foregroundRole()));
  painter.setFont(font());
  painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   shownText());
}

void TFileLabel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  refresh();
}

void TFileLabel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    updateGeometry();
    refresh();
  }
}

void TFileLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    event->accept();
    emit doubleClicked();
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

bool TFileLabel::event(QEvent* event) {
  // A hidden label gets its resize events only when shown: bring the tip up
  // to date before it is displayed.
  if (event->type() == QEvent::ToolTip) refresh();
  return QWidget::event(event);
}

void TFileLabel::refresh() {
  const QString native = QDir::toNativeSeparators(path_);
  setToolTip(shownText() != native ? native : QString());
  setAccessibleName(native);
  update();
}
