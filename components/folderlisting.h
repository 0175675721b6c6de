// Reading one folder for the add-files dialog and the batch: its files that
// a ";"-separated mask lets through and its subfolders, in one pass over the
// folder's entries. On POSIX systems the entry types come with the names,
// so a folder of 100,000 files costs no look at each file.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <vector>

namespace listing {

// File-name masks such as "*.txt; *.doc": "?" and "*" wildcards, letters of
// either case alike; "*.*" takes every file, with a dot in its name or not.
class NameMasks {
 public:
  explicit NameMasks(const QString& mask);
  bool Empty() const { return !all_ && patterns_.empty(); }
  bool Matches(const QString& name) const;

 private:
  bool all_ = false;
  std::vector<QRegularExpression> patterns_;
};

struct FolderEntries {
  bool readable = false;
  QStringList files;    // names of the ordinary files the masks let through
  QStringList folders;  // names of the subfolders, when asked for
};

// The entries of `folder`, each list in name order (letters of either case
// alike). Hidden entries (a leading dot) are left out, and so is whatever is
// neither an ordinary file nor a folder. A link counts as what it points
// to, except that a link to a folder is never listed as a subfolder (a walk
// down the tree cannot loop).
FolderEntries ReadFolderEntries(const QString& folder, const NameMasks& masks, bool withFolders);

// The order of the lists: names compared without regard to case, ties
// broken by the exact text so that the order is total.
void SortNames(QStringList& names);

}  // namespace listing
