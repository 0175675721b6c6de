#include "folderrecords.h"

#include <xbase.h>

#include "datafiles.h"
#include "records.h"
#include "schema.h"

namespace testsupport {

void AddRecords(const QString& dataFolder, const std::vector<RecordRow>& rows) {
  xbase::Environment env;
  xbase::Table records(env), catalogs(env);
  records.SetDatabaseName(store::EnginePath(dataFolder));
  records.SetTableName(store::kRecordsTable);
  records.Open();
  catalogs.SetDatabaseName(store::EnginePath(dataFolder));
  catalogs.SetTableName(store::kCatalogTable);
  catalogs.SetIndexTag(store::kCatalogTag);
  catalogs.Open();
  std::vector<Record> converted;
  for (const RecordRow& r : rows)
    converted.push_back({store::ToUtf8(r.catalog), store::ToUtf8(r.title), store::ToUtf8(r.path),
                         store::ToUtf8(r.size), store::ToUtf8(r.date), store::ToUtf8(r.desc), r.deleted});
  records.BeginBatch();
  AppendRecords(records, catalogs, converted);
  records.EndBatch();
}

}  // namespace testsupport
