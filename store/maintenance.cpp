#include "maintenance.h"

#include "datafiles.h"
#include "datamodule.h"

namespace store {

qint64 PackRecords(TDataModule1& dm, const std::function<void()>& showCatalog) {
  return PackRecordsOf(dm, showCatalog);
}

QStringList ReindexTables(TDataModule1& dm, const std::function<void()>& showCatalog) {
  QStringList notes;
  for (const std::string& text : ReindexTablesOf(dm, showCatalog)) notes << FromUtf8(text);
  return notes;
}

}  // namespace store
