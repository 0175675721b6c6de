#include "filelist.h"

#include <QCoreApplication>
#include <QDir>

#include "folderlisting.h"
#include <QItemSelectionModel>
#include <QPointer>
#include <QStringListModel>
#include <QThreadPool>

TRzFileListBox::TRzFileListBox(QWidget* parent) : QListView(parent), model_(new QStringListModel(this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
}

QStringList TRzFileListBox::ReadFolder(const QString& folder, const QString& mask) {
  // Ordinary files: no folders, no hidden files, nothing that is not a
  // file; the names alone, none of their details kept.
  const listing::NameMasks masks(mask);
  if (masks.Empty()) return {};
  return listing::ReadFolderEntries(folder, masks, false).files;
}

void TRzFileListBox::SetDirectory(const QString& folder) {
  directory_ = QDir::fromNativeSeparators(folder);
  while (directory_.size() > 1 && directory_.endsWith(u'/')) directory_.chop(1);
  Apply();
}

void TRzFileListBox::SetMask(const QString& mask) {
  mask_ = mask;
  Apply();
}

void TRzFileListBox::Reread() { Apply(); }

void TRzFileListBox::Apply() {
  loaded_ = false;
  model_->setStringList({});
  const int generation = ++generation_;
  const QString folder = directory_, mask = mask_;
  QPointer<TRzFileListBox> self(this);
  QThreadPool::globalInstance()->start([self, generation, folder, mask] {
    const QStringList names = ReadFolder(folder, mask);
    QMetaObject::invokeMethod(
        qApp, [self, generation, names] { if (self) self->Deliver(generation, names); }, Qt::QueuedConnection);
  });
}

void TRzFileListBox::Deliver(int generation, const QStringList& names) {
  if (generation != generation_) return;  // a later reading is on its way
  model_->setStringList(names);
  clearSelection();
  setCurrentIndex(QModelIndex());
  loaded_ = true;
  emit FolderLoaded(directory_);
}

QStringList TRzFileListBox::SelectedNames() const {
  QStringList names;
  const QStringList all = model_->stringList();
  const QItemSelectionModel* sel = selectionModel();
  for (int row = 0; row < all.size(); ++row)
    if (sel->isRowSelected(row, QModelIndex())) names << all[row];
  return names;
}

int TRzFileListBox::SelectedCount() const { return (int)selectionModel()->selectedRows().size(); }

QString TRzFileListBox::FocusedFilePath() const {
  const QModelIndex i = currentIndex();
  if (!i.isValid() || !selectionModel()->isSelected(i)) return {};
  const QString name = i.data().toString();
  return QDir::toNativeSeparators(directory_ + (directory_.endsWith(u'/') ? "" : "/") + name);
}
