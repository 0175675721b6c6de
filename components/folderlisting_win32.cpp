// Reading a folder on Windows, through the toolkit's directory iterator.
// Drive letters are the other file systems here, and a walk never leaves
// its drive by a subfolder: a folder where a volume is mounted, a symbolic
// link or a junction is a reparse point, and reparse points are not walked
// into. Hidden entries are those with the hidden attribute.
#include "folderlisting.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace listing {

TreeBounds::TreeBounds(bool otherFileSystems) : otherFileSystems_(otherFileSystems) {}

bool TreeBounds::IsSystemFolder(const QString& path) const { return false; }

FolderEntries ReadFolderEntries(const QString& folder, const NameMasks& masks, bool withFolders,
                                const TreeBounds* bounds) {
  FolderEntries out;
  if (folder.isEmpty() || (masks.Empty() && !withFolders)) return out;
  const QDir dir(folder);
  if (!dir.exists() || !dir.isReadable()) return out;
  out.readable = true;
  QDirIterator files(folder, QDir::Files | QDir::NoDotAndDotDot);
  while (files.hasNext()) {
    files.next();
    if (masks.Matches(files.fileName())) out.files << files.fileName();
  }
  if (withFolders) {
    QDirIterator folders(folder, QDir::Dirs | QDir::NoDotAndDotDot);
    while (folders.hasNext()) {
      folders.next();
      const QFileInfo info = folders.fileInfo();
      if (!info.isSymLink() && !info.isJunction()) out.folders << folders.fileName();
    }
  }
  SortNames(out.files);
  SortNames(out.folders);
  return out;
}

}  // namespace listing
