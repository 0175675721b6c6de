#include "createdb.h"

#include <QFileInfo>

#include "catalog.h"
#include "datafiles.h"

namespace store {

std::vector<xbase::FieldDef> RecordsTableFields() {
  return {
      {kFieldCatalog, 'C', kCatalogWidth, 0}, {kFieldTitle, 'C', kTitleWidth, 0},
      {kFieldName, 'C', kNameWidth, 0},       {kFieldSize, 'C', kSizeWidth, 0},
      {kFieldDate, 'C', kDateWidth, 0},       {kFieldDesc, 'M', 10, 0},
  };
}

std::vector<xbase::FieldDef> CatalogTableFields() { return {{kFieldCatalog, 'C', kCatalogWidth, 0}}; }

bool CreationResult::ok() const {
  const QString failed = QLatin1String(kFailed);
  return failure.isEmpty() && error.isEmpty() && recordsTable != failed &&
         recordsIndex != failed && catalogTable != failed && catalogIndex != failed;
}

QStringList MissingDatabaseFiles(const QString& dataDir) {
  QStringList missing;
  for (const char* file : {kRecordsTable, kRecordsIndex, kCatalogTable, kCatalogIndex})
    if (!QFileInfo::exists(DataFilePath(dataDir, file))) missing << QLatin1String(file);
  return missing;
}

namespace {

// Creating the table file; an engine refusal here is a failed creation
// (reported as kFailed), not an error that stops the rest.
QString CreateOneTable(const QString& path, const std::vector<xbase::FieldDef>& fields,
                       QStringList& reasons) {
  try {
    xbase::CreateTable(EnginePath(path), fields);
  } catch (const xbase::Error& e) {
    reasons << FromUtf8(e.what());
    return QLatin1String(kFailed);
  }
  return QLatin1String(kCreated);
}

// Opens the table exclusively and creates the tag in its index file over
// the records already there. Engine errors propagate: they end the
// creation.
QString CreateOneTag(xbase::Environment& env, const QString& dataDir, const char* table,
                     const char* index, const char* tag, const char* key, bool unique,
                     const std::vector<xbase::FieldDef>& fields) {
  xbase::Table t(env);
  t.SetDatabaseName(EnginePath(dataDir));
  t.SetTableName(table);
  t.SetIndexTag("");
  t.SetRequiredFields(fields);
  t.SetExclusive(true);
  t.Open();
  const int number =
      t.IndexTag(EnginePath(DataFilePath(dataDir, index)), tag, key, kTagCondition, unique);
  t.Close();
  return QLatin1String(number >= 1 ? kCreated : kFailed);
}

}  // namespace

CreationResult CreateDatabaseFiles(const QString& dataDir) {
  CreationResult r;
  auto missing = [&](const char* file) { return !QFileInfo::exists(DataFilePath(dataDir, file)); };
  // A table can only be started in an existing folder; without one nothing
  // else can work, so creation stops at the first table.
  const bool folderUsable = QFileInfo(dataDir).isDir();

  // Nothing of the program has these files open yet: a private environment
  // keeps the creation apart from any configured tables.
  xbase::Environment env;
  env.SetDeleted(true);
  try {
    if (missing(kRecordsTable)) {
      if (!folderUsable) {
        r.failure = QLatin1String(kRecordsTableFailed);
        return r;
      }
      r.recordsTable =
          CreateOneTable(DataFilePath(dataDir, kRecordsTable), RecordsTableFields(), r.reasons);
    }
    if (missing(kRecordsIndex))
      r.recordsIndex =
          CreateOneTag(env, dataDir, kRecordsTable, kRecordsIndex, kRecordsTag, kRecordsKey, false,
                       RecordsTableFields());
    if (missing(kCatalogTable)) {
      if (!folderUsable) {
        r.failure = QLatin1String(kCatalogTableFailed);
        return r;
      }
      r.catalogTable =
          CreateOneTable(DataFilePath(dataDir, kCatalogTable), CatalogTableFields(), r.reasons);
    }
    if (missing(kCatalogIndex))
      r.catalogIndex =
          CreateOneTag(env, dataDir, kCatalogTable, kCatalogIndex, kCatalogTag, kCatalogKey, true,
                       CatalogTableFields());
  } catch (const std::exception& e) {
    r.error = FromUtf8(e.what());
  }
  return r;
}

}  // namespace store
