#include "createdb.h"

#include "datafiles.h"

namespace store {

bool CreationResult::ok() const {
  const QString failed = QLatin1String(kFailed);
  return failure.isEmpty() && error.isEmpty() && recordsTable != failed && recordsIndex != failed &&
         catalogTable != failed && catalogIndex != failed;
}

QStringList MissingDatabaseFiles(const QString& dataDir) {
  QStringList missing;
  for (const std::string& file : MissingDatabaseFilesUtf8(ToUtf8(dataDir))) missing << FromUtf8(file);
  return missing;
}

CreationResult CreateDatabaseFiles(const QString& dataDir) {
  const CreationOutcome o = CreateDatabaseFilesUtf8(ToUtf8(dataDir));
  CreationResult r;
  r.recordsTable = FromUtf8(o.recordsTable);
  r.recordsIndex = FromUtf8(o.recordsIndex);
  r.catalogTable = FromUtf8(o.catalogTable);
  r.catalogIndex = FromUtf8(o.catalogIndex);
  r.failure = FromUtf8(o.failure);
  r.error = FromUtf8(o.error);
  for (const std::string& reason : o.reasons) r.reasons << FromUtf8(reason);
  return r;
}

}  // namespace store
