#include "filelist.h"

#include <QCoreApplication>
#include <QDir>

#include "folderlisting.h"

#include <algorithm>
#include <utility>
#include <vector>
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
  QString directory = QDir::fromNativeSeparators(folder);
  while (directory.size() > 1 && directory.endsWith(u'/')) directory.chop(1);
  // The same folder again keeps the reading under way or done (Reread
  // reads it anew).
  if (directory == directory_ && generation_ > 0) return;
  directory_ = directory;
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

// The chosen rows as spans of the selection, in order and apart: a list of
// 100,000 files chosen at once is one span, not 100,000 looks at rows.
std::vector<std::pair<int, int>> TRzFileListBox::SelectedSpans() const {
  std::vector<std::pair<int, int>> spans;
  for (const QItemSelectionRange& r : selectionModel()->selection())
    if (r.isValid() && r.parent() == rootIndex()) spans.emplace_back(r.top(), r.bottom());
  std::sort(spans.begin(), spans.end());
  std::vector<std::pair<int, int>> merged;
  for (const auto& span : spans) {
    if (!merged.empty() && span.first <= merged.back().second + 1)
      merged.back().second = std::max(merged.back().second, span.second);
    else
      merged.push_back(span);
  }
  return merged;
}

QStringList TRzFileListBox::SelectedNames() const {
  const QStringList all = model_->stringList();
  QStringList names;
  for (const auto& [top, bottom] : SelectedSpans())
    for (int row = top; row <= bottom && row < all.size(); ++row) names << all[row];
  return names;
}

int TRzFileListBox::SelectedCount() const {
  int n = 0;
  for (const auto& [top, bottom] : SelectedSpans()) n += bottom - top + 1;
  return n;
}

QString TRzFileListBox::FocusedFilePath() const {
  const QModelIndex i = currentIndex();
  if (!i.isValid() || !selectionModel()->isSelected(i)) return {};
  const QString name = i.data().toString();
  return QDir::toNativeSeparators(directory_ + (directory_.endsWith(u'/') ? "" : "/") + name);
}
