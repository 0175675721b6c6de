// Database maintenance on the data module's tables: pack and reindex
// (datatables.h has them without Qt).
#pragma once

#include <QStringList>
#include <QtGlobal>

#include <functional>

class TDataModule1;

namespace store {

// PackRecordsOf on the data module's tables; `progress` hears how far it
// is (0 to 1).
qint64 PackRecords(TDataModule1& dm, const std::function<void()>& showCatalog = {},
                   const std::function<void(double)>& progress = {});

// ReindexTablesOf on the data module's tables.
QStringList ReindexTables(TDataModule1& dm, const std::function<void()>& showCatalog = {},
                          const std::function<void(double)>& progress = {});

}  // namespace store
