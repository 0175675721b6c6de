#include "filelist.h"

#include <QDir>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

namespace {

// Passes the folder's files that match one of the mask's patterns; every
// row outside the folder (the path down to it) is let through, so that the
// folder itself can be the view's root.
class MaskFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void SetRoot(const QString& folder) {
    root_ = QDir::cleanPath(folder);
    invalidateFilter();
  }
  void SetMask(const QString& mask) {
    patterns_.clear();
    for (QString p : mask.split(u';', Qt::SkipEmptyParts)) {
      p = p.trimmed();
      if (p.isEmpty()) continue;
      // "*.*" takes every file, with a dot in its name or not.
      if (p == u"*.*") p = QStringLiteral("*");
      patterns_.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                          QRegularExpression::CaseInsensitiveOption));
    }
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* fs = static_cast<const QFileSystemModel*>(sourceModel());
    if (fs->filePath(parent) != root_) return true;
    const QModelIndex i = fs->index(row, 0, parent);
    if (fs->isDir(i)) return false;
    const QString name = fs->fileName(i);
    for (const QRegularExpression& re : patterns_)
      if (re.match(name).hasMatch()) return true;
    return false;
  }

 private:
  QString root_;
  QList<QRegularExpression> patterns_;
};

}  // namespace

TRzFileListBox::TRzFileListBox(QWidget* parent)
    : QListView(parent), model_(new QFileSystemModel(this)), proxy_(new MaskFilter(this)) {
  // Ordinary files only: no hidden or system files; folders are dropped by
  // the mask filter (the model needs them to reach the folder).
  model_->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
  model_->setReadOnly(true);
  proxy_->setSourceModel(model_);
  setModel(proxy_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  static_cast<MaskFilter*>(proxy_)->SetMask(mask_);
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    if (QDir::cleanPath(path) != QDir::cleanPath(directory_)) return;
    loaded_ = true;
    emit FolderLoaded(directory_);
  });
}

void TRzFileListBox::SetDirectory(const QString& folder) {
  directory_ = QDir::fromNativeSeparators(folder);
  while (directory_.size() > 1 && directory_.endsWith(u'/')) directory_.chop(1);
  Apply();
}

void TRzFileListBox::SetMask(const QString& mask) {
  mask_ = mask;
  static_cast<MaskFilter*>(proxy_)->SetMask(mask);
  Apply();
}

void TRzFileListBox::Reread() { Apply(); }

void TRzFileListBox::Apply() {
  loaded_ = false;
  static_cast<MaskFilter*>(proxy_)->SetRoot(directory_);
  const QModelIndex source = model_->setRootPath(directory_);
  setRootIndex(proxy_->mapFromSource(source));
  clearSelection();
  setCurrentIndex(QModelIndex());
  // A folder the model has read already answers at once.
  if (source.isValid() && !model_->canFetchMore(source)) {
    loaded_ = true;
    emit FolderLoaded(directory_);
  }
}

QStringList TRzFileListBox::SelectedNames() const {
  QStringList names;
  const QModelIndex root = rootIndex();
  for (int row = 0; row < proxy_->rowCount(root); ++row) {
    const QModelIndex i = proxy_->index(row, 0, root);
    if (selectionModel()->isSelected(i)) names << model_->fileName(proxy_->mapToSource(i));
  }
  return names;
}

int TRzFileListBox::SelectedCount() const { return (int)selectionModel()->selectedIndexes().size(); }

QString TRzFileListBox::FocusedFilePath() const {
  const QModelIndex i = currentIndex();
  if (!i.isValid() || !selectionModel()->isSelected(i)) return {};
  const QString name = model_->fileName(proxy_->mapToSource(i));
  return QDir::toNativeSeparators(directory_ + (directory_.endsWith(u'/') ? "" : "/") + name);
}
