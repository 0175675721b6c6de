#include "foldertree.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStandardItemModel>

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kReadRole = Qt::UserRole + 2;  // the folders below were read

// A row for a folder; until it is read it holds one empty child, so that
// it shows as one the user can open.
QStandardItem* FolderItem(const QString& name, const QString& path) {
  auto* item = new QStandardItem(name);
  item->setEditable(false);
  item->setData(path, kPathRole);
  item->setData(false, kReadRole);
  item->appendRow(new QStandardItem);
  return item;
}

}  // namespace

Tdirtree::Tdirtree(QWidget* parent) : QTreeView(parent), model_(new QStandardItemModel(this)) {
  setModel(model_);
  header()->hide();
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The selection stays shown when the tree loses the focus.
  QPalette pal = palette();
  pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(pal);
  connect(this, &QTreeView::expanded, this, [this](const QModelIndex& i) { Read(model_->itemFromIndex(i)); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { emit DirectoryChanged(); });
  Roots();
}

void Tdirtree::Roots() {
  model_->clear();
  for (const QFileInfo& drive : QDir::drives()) {
    const QString path = drive.absoluteFilePath();
    model_->appendRow(FolderItem(QDir::toNativeSeparators(path), path));
  }
}

void Tdirtree::Read(QStandardItem* item) {
  if (!item || item->data(kReadRole).toBool()) return;
  item->setData(true, kReadRole);
  item->removeRows(0, item->rowCount());
  // Only the folders are asked for: a folder of many files costs no memory
  // here. Hidden and system folders are listed too.
  const QDir dir(item->data(kPathRole).toString());
  const QFileInfoList subs =
      dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& sub : subs) item->appendRow(FolderItem(sub.fileName(), sub.absoluteFilePath()));
}

QString Tdirtree::Directory() const {
  const QModelIndex i = currentIndex();
  if (!i.isValid()) return QStringLiteral("?");
  QString path = QDir::toNativeSeparators(i.data(kPathRole).toString());
  if (!path.endsWith(QDir::separator())) path += QDir::separator();
  return path;
}

void Tdirtree::SetDirectory(const QString& path) {
  if (path.isEmpty() || path == u"?") return;
  const QFileInfo info(QDir::fromNativeSeparators(path));
  if (!info.isDir()) return;
  const QString target = QDir::cleanPath(info.absoluteFilePath());
  // Down from the root that holds the path, one folder at a time.
  QStandardItem* at = nullptr;
  for (int r = 0; r < model_->rowCount() && !at; ++r) {
    QStandardItem* root = model_->item(r);
    const QString rootPath = QDir::cleanPath(root->data(kPathRole).toString());
    if (target.startsWith(rootPath, Qt::CaseInsensitive)) at = root;
  }
  if (!at) return;
  while (QDir::cleanPath(at->data(kPathRole).toString()).compare(target, Qt::CaseInsensitive) != 0) {
    Read(at);
    QStandardItem* next = nullptr;
    for (int r = 0; r < at->rowCount() && !next; ++r) {
      const QString child = QDir::cleanPath(at->child(r)->data(kPathRole).toString());
      if (target.compare(child, Qt::CaseInsensitive) == 0 ||
          target.startsWith(child + u'/', Qt::CaseInsensitive))
        next = at->child(r);
    }
    if (!next) return;  // a level is missing: the selection stays
    expand(at->index());
    at = next;
  }
  setCurrentIndex(at->index());
  scrollTo(at->index());
}

void Tdirtree::Reload() {
  QString folder = Directory();
  if (folder == u"?") folder = QDir::homePath();
  // The folder, or the nearest parent still there.
  QDir dir(QDir::fromNativeSeparators(folder));
  while (!dir.exists() && !dir.isRoot() && dir.cdUp()) {
  }
  if (!dir.exists()) dir = QDir::home();
  Roots();
  SetDirectory(dir.absolutePath());
}
