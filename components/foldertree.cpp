#include "foldertree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>

Tdirtree::Tdirtree(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System | QDir::Drives);
  model_->setReadOnly(true);
  model_->setRootPath(QString());
  setModel(model_);
  for (int c = 1; c < model_->columnCount(); ++c) hideColumn(c);
  header()->hide();
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The selection stays shown when the tree loses the focus.
  QPalette pal = palette();
  pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(pal);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { emit DirectoryChanged(); });
}

QString Tdirtree::Directory() const {
  const QModelIndex i = currentIndex();
  if (!i.isValid()) return QStringLiteral("?");
  QString path = QDir::toNativeSeparators(model_->filePath(i));
  if (!path.endsWith(QDir::separator())) path += QDir::separator();
  return path;
}

void Tdirtree::SetDirectory(const QString& path) {
  if (path.isEmpty() || path == u"?") return;
  const QFileInfo info(QDir::fromNativeSeparators(path));
  if (!info.isDir()) return;
  const QModelIndex i = model_->index(QDir::cleanPath(info.absoluteFilePath()));
  if (!i.isValid()) return;
  for (QModelIndex p = i.parent(); p.isValid(); p = p.parent()) expand(p);
  setCurrentIndex(i);
  scrollTo(i);
}

void Tdirtree::Reload() {
  QString folder = Directory();
  if (folder == u"?") folder = QDir::homePath();
  // The folder, or the nearest parent still there.
  QDir dir(QDir::fromNativeSeparators(folder));
  while (!dir.exists() && !dir.isRoot() && dir.cdUp()) {
  }
  if (!dir.exists()) dir = QDir::home();
  setCurrentIndex(QModelIndex());
  SetDirectory(dir.absolutePath());
}
