// The entries of a zip archive, read without extracting anything.
//
// An archive is listed from its central directory through the same reader
// extraction uses, so the listing shows exactly the entries, under exactly
// the names, that extraction finds. Only when that reader cannot open the
// archive (no central directory, a damaged one) is the file walked from its
// local file headers instead, with the messages that walk gives; the
// entries are then listed, and extracting them may well fail.
#pragma once

#include <QString>

#include "zipentry.h"

namespace zip {

// Lists the archive at `path`. A missing file gives no entries and no error.
Listing ListArchive(const QString& path);

}  // namespace zip
