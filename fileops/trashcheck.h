// What stands in the way of moving a file to the system's trash, asked
// before the move. The move itself is the toolkit's (QFile::moveToTrash);
// what it cannot say well beforehand differs between the systems:
// trashcheck_posix.cpp and trashcheck_win32.cpp.
#pragma once

#include <QString>

namespace fileops {

// Why the file at `path` cannot go to the trash, in a sentence for the
// user; empty when nothing known stands in the way. `present`: whether
// anything is at the path (a file already gone needs no folder checked).
QString TrashProblem(const QString& path, bool present);

}  // namespace fileops
