#include "foldertree.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QSet>
#include <QStandardItemModel>

#include <utility>
#include <vector>

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

// Makes the rows below `parent` the folders `wanted` (label, path), in that
// order: rows of folders still there stay as they are, with whatever below
// them is open; rows of folders gone are removed; new folders get rows.
void Merge(QStandardItem* parent, const std::vector<std::pair<QString, QString>>& wanted) {
  QSet<QString> paths;
  for (const auto& w : wanted) paths.insert(w.second);
  for (int r = parent->rowCount() - 1; r >= 0; --r) {
    const QVariant path = parent->child(r)->data(kPathRole);
    if (!path.isValid() || !paths.contains(path.toString())) parent->removeRow(r);  // the "not read" mark too
  }
  for (int i = 0; i < (int)wanted.size(); ++i) {
    QStandardItem* at = i < parent->rowCount() ? parent->child(i) : nullptr;
    if (at && at->data(kPathRole).toString() == wanted[(size_t)i].second) continue;
    parent->insertRow(i, FolderItem(wanted[(size_t)i].first, wanted[(size_t)i].second));
  }
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
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    if (!quiet_) emit DirectoryChanged();
  });
  Roots();
}

void Tdirtree::Roots() {
  // The drives as they are now: one plugged in since the last look is
  // added, one gone is removed.
  std::vector<std::pair<QString, QString>> drives;
  for (const QFileInfo& drive : QDir::drives()) {
    const QString path = drive.absoluteFilePath();
    drives.emplace_back(QDir::toNativeSeparators(path), path);
  }
  Merge(model_->invisibleRootItem(), drives);
}

void Tdirtree::Read(QStandardItem* item) {
  if (!item) return;
  item->setData(true, kReadRole);
  // Only the folders are asked for: a folder of many files costs no memory
  // here. Hidden and system folders are listed too.
  const QDir dir(item->data(kPathRole).toString());
  const QFileInfoList subs =
      dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  std::vector<std::pair<QString, QString>> wanted;
  wanted.reserve((size_t)subs.size());
  for (const QFileInfo& sub : subs) wanted.emplace_back(sub.fileName(), sub.absoluteFilePath());
  Merge(item, wanted);
}

void Tdirtree::RefreshBelow(QStandardItem* item) {
  for (int r = 0; r < item->rowCount(); ++r) {
    QStandardItem* child = item->child(r);
    if (!child->data(kReadRole).toBool()) continue;
    if (isExpanded(child->index())) {
      Read(child);
      RefreshBelow(child);
    } else {
      // Not shown now: read afresh when it is opened.
      child->setData(false, kReadRole);
    }
  }
}

void Tdirtree::Refresh() {
  const QString selected = Directory();
  // The rows change under the selection: one notice at the end, if any.
  quiet_ = true;
  Roots();
  RefreshBelow(model_->invisibleRootItem());
  if (selected != u"?" && Directory() != selected) {
    // The selected folder is gone: its nearest parent still there takes
    // its place.
    QDir dir(QDir::fromNativeSeparators(selected));
    while (!dir.exists() && !dir.isRoot() && dir.cdUp()) {
    }
    SetDirectory(dir.absolutePath());
  }
  quiet_ = false;
  if (Directory() != selected) emit DirectoryChanged();
}

void Tdirtree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5) {
    Refresh();
    return;
  }
  QTreeView::keyPressEvent(event);
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
