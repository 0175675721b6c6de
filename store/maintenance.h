// Database maintenance on the data module's tables: pack and reindex.
#pragma once

#include <QStringList>
#include <QtGlobal>

#include <functional>

class TDataModule1;

namespace store {

// Removes the deleted records of the records table for good. ApTable3 is
// closed and the packing flag set; ApTable1 is reopened exclusively,
// packed and reopened shared; then ApTable3 is opened, `showCatalog` runs
// (the window shows its catalog again) and the flag is cleared. Returns how
// many bytes the table file shrank (its size before minus after; a file
// that cannot be found counts as -1). Engine errors propagate after
// ApTable1 has been put back to shared use where possible.
qint64 PackRecords(TDataModule1& dm, const std::function<void()>& showCatalog = {});

// Rebuilds every tag of both tables: each is reopened exclusively, its
// index file opened and reindexed, and reopened shared. ApTable3 is closed
// meanwhile and open afterwards; then `showCatalog` runs. An index file
// that cannot serve its table (RepairIndexFile) is recreated first, while
// the table is closed; the status texts of those are returned. An index
// file of a newer format is refused with an error naming it.
QStringList ReindexTables(TDataModule1& dm, const std::function<void()>& showCatalog = {});

}  // namespace store
