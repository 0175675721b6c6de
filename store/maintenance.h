// Database maintenance on the data module's tables: pack and reindex
// (datatables.h has them without Qt).
#pragma once

#include <QStringList>
#include <QtGlobal>

#include <functional>

class TDataModule1;

namespace store {

// PackRecordsOf on the data module's tables.
qint64 PackRecords(TDataModule1& dm, const std::function<void()>& showCatalog = {});

// ReindexTablesOf on the data module's tables.
QStringList ReindexTables(TDataModule1& dm, const std::function<void()>& showCatalog = {});

}  // namespace store
