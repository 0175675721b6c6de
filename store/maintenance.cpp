#include "maintenance.h"

#include "datafiles.h"
#include "datamodule.h"

namespace store {

qint64 PackRecords(TDataModule1& dm, const std::function<void()>& showCatalog,
                   const std::function<void(double)>& progress) {
  return PackRecordsOf(dm, showCatalog, progress);
}

QStringList ReindexTables(TDataModule1& dm, const std::function<void()>& showCatalog,
                          const std::function<void(double)>& progress) {
  QStringList notes;
  for (const std::string& text : ReindexTablesOf(dm, showCatalog, progress)) notes << FromUtf8(text);
  return notes;
}

}  // namespace store
