// The Recycle Bin on Windows. The shell's file operation behind
// QFile::moveToTrash says itself why a file cannot be moved (in use, access
// denied), and a file still there afterwards keeps its record, so nothing is
// asked before. A drive without a Recycle Bin of its own (a network share,
// most removable drives) is the shell's affair: there, as with Explorer's
// Delete, the file may be deleted for good.
#include "trashcheck.h"

namespace fileops {

QString TrashProblem(const QString& path, bool present) { return QString(); }

}  // namespace fileops
