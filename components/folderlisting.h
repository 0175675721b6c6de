// Reading one folder for the add-files dialog and the batch: its files that
// a ";"-separated mask lets through and its subfolders, in one pass over the
// folder's entries. On POSIX systems the entry types come with the names,
// so a folder of 100,000 files costs no look at each file.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <utility>
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

// Where a walk down a folder tree may go. It stays on the file system it
// starts on unless other file systems are allowed (a disk mounted below the
// folder, a network share), and never goes into the system's own pseudo
// file systems (proc, sysfs, devtmpfs, cgroup and the like): what they hold
// are no files of the user's but the state of the running system.
class TreeBounds {
 public:
  explicit TreeBounds(bool otherFileSystems);
  bool OtherFileSystems() const { return otherFileSystems_; }
  // Whether the folder at `path` is on a pseudo file system (the start of a
  // walk is checked with it: such a folder is not walked at all).
  bool IsSystemFolder(const QString& path) const;
#ifdef Q_OS_UNIX
  // The same for a folder known by its device, with its path.
  bool IsSystemDevice(unsigned long long device, const QString& path) const;
#endif

 private:
  bool otherFileSystems_;
  std::vector<std::pair<unsigned long long, bool>> devices_;  // device -> pseudo, from the mount table
};

struct FolderEntries {
  bool readable = false;
  QStringList files;    // names of the ordinary files the masks let through
  QStringList folders;  // names of the subfolders, when asked for
  // With bounds: subfolders left out, on another file system or on a
  // pseudo one (names).
  QStringList otherFileSystems, systemFolders;
};

// The entries of `folder`, each list in name order (letters of either case
// alike). Hidden entries (a leading dot; on Windows the hidden attribute)
// are left out, and so is whatever is neither an ordinary file nor a
// folder. A link counts as what it points to, except that a link to a
// folder (on Windows also a junction) is never listed as a subfolder (a
// walk down the tree cannot loop). With `bounds`, a subfolder where another file
// system is mounted is listed only as the bounds allow, and a pseudo file
// system never (both are named in the entries instead).
FolderEntries ReadFolderEntries(const QString& folder, const NameMasks& masks, bool withFolders,
                                const TreeBounds* bounds = nullptr);

// The order of the lists: names compared without regard to case, ties
// broken by the exact text so that the order is total.
void SortNames(QStringList& names);

}  // namespace listing
