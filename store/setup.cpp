#include "setup.h"

#include <cctype>
#include <exception>

#include "folder.h"
#include "schema.h"

namespace store {

bool CreationOutcome::ok() const {
  return failure.empty() && error.empty() && recordsTable != kFailed && recordsIndex != kFailed &&
         catalogTable != kFailed && catalogIndex != kFailed;
}

namespace {

// Creating the table file; an engine refusal here is a failed creation
// (reported as kFailed), not an error that stops the rest.
std::string CreateOneTable(const std::string& path, const std::vector<xbase::FieldDef>& fields,
                           std::vector<std::string>& reasons) {
  try {
    xbase::CreateTable(path, fields);
  } catch (const xbase::Error& e) {
    reasons.emplace_back(e.what());
    return kFailed;
  }
  return kCreated;
}

// Opens the table exclusively and creates the tag in its index file over
// the records already there. Engine errors propagate: they end the
// creation.
std::string CreateOneTag(xbase::Environment& env, const std::string& dataDir, const char* table, const char* index,
                         const char* tag, const char* key, bool unique, const std::vector<xbase::FieldDef>& fields) {
  xbase::Table t(env);
  t.SetDatabaseName(dataDir);
  t.SetTableName(table);
  t.SetIndexTag("");
  t.SetRequiredFields(fields);
  t.SetExclusive(true);
  t.Open();
  const int number = t.IndexTag(DataFilePathUtf8(dataDir, index), tag, key, kTagCondition, unique);
  t.Close();
  return number >= 1 ? kCreated : kFailed;
}

struct StoreTag {
  const char* table;
  const char* tag;
  const char* key;
  bool unique;
};

const StoreTag* TagOf(const char* table) {
  static const StoreTag kTags[] = {{kRecordsTable, kRecordsTag, kRecordsKey, false},
                                   {kCatalogTable, kCatalogTag, kCatalogKey, true}};
  for (const StoreTag& t : kTags)
    if (std::string(t.table) == table) return &t;
  return nullptr;
}

// Expressions as the engine reads them: letter case and blanks do not
// count (the store's expressions hold no literals).
std::string Normal(const std::string& expression) {
  std::string out;
  for (unsigned char c : expression)
    if (c != ' ' && c != '\t') out += (char)std::toupper(c);
  return out;
}

bool HoldsExactly(const std::vector<xbase::TagInfo>& tags, const StoreTag& want) {
  return tags.size() == 1 && Normal(tags[0].name) == Normal(want.tag) && Normal(tags[0].key) == Normal(want.key) &&
         Normal(tags[0].condition) == Normal(kTagCondition) && tags[0].unique == want.unique;
}

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CreationOutcome CreateDatabaseFilesUtf8(const std::string& dataDir) {
  CreationOutcome r;
  auto missing = [&](const char* file) { return !Exists(DataFilePathUtf8(dataDir, file)); };
  // A table can only be started in an existing folder; without one nothing
  // else can work, so creation stops at the first table.
  const bool folderUsable = IsFolder(dataDir);

  // Nothing of the program has these files open yet: a private environment
  // keeps the creation apart from any configured tables.
  xbase::Environment env;
  env.SetDeleted(true);
  try {
    if (missing(kRecordsTable)) {
      if (!folderUsable) {
        r.failure = kRecordsTableFailed;
        return r;
      }
      r.recordsTable = CreateOneTable(DataFilePathUtf8(dataDir, kRecordsTable), RecordsTableFields(), r.reasons);
    }
    if (missing(kRecordsIndex))
      r.recordsIndex = CreateOneTag(env, dataDir, kRecordsTable, kRecordsIndex, kRecordsTag, kRecordsKey, false,
                                    RecordsTableFields());
    if (missing(kCatalogTable)) {
      if (!folderUsable) {
        r.failure = kCatalogTableFailed;
        return r;
      }
      r.catalogTable = CreateOneTable(DataFilePathUtf8(dataDir, kCatalogTable), CatalogTableFields(), r.reasons);
    }
    if (missing(kCatalogIndex))
      r.catalogIndex = CreateOneTag(env, dataDir, kCatalogTable, kCatalogIndex, kCatalogTag, kCatalogKey, true,
                                    CatalogTableFields());
  } catch (const std::exception& e) {
    r.error = e.what();
  }
  return r;
}

std::vector<xbase::TagInfo> StoreTagsOf(const char* table) {
  const StoreTag* t = TagOf(table);
  if (!t) return {};
  return {xbase::TagInfo{t->tag, t->key, kTagCondition, t->unique, 0}};
}

std::string IndexRebuiltTextUtf8(const std::string& indexFile) { return "Index file " + indexFile + " was rebuilt."; }

std::string RepairIndexFileUtf8(const std::string& dataDir, const char* table, xbase::Environment& env) {
  const StoreTag* want = TagOf(table);
  if (!want) return {};
  const std::string dbf = DataFilePathUtf8(dataDir, table);
  if (!Exists(dbf)) return {};
  const std::string index = xbase::IndexPathFor(dbf);
  const xbase::IndexFileInfo info = xbase::InspectIndexFile(index);
  switch (info.kind) {
    case xbase::IndexFileInfo::Kind::Missing:
      return {};
    case xbase::IndexFileInfo::Kind::Newer:
      throw xbase::Error(xbase::ErrorCode::Unsupported, info.problem);
    case xbase::IndexFileInfo::Kind::Readable:
      if (HoldsExactly(info.tags, *want)) return {};
      break;
    case xbase::IndexFileInfo::Kind::NotAnIndex:
    case xbase::IndexFileInfo::Kind::Damaged:
      break;
  }
  // In a folder that cannot be written the file stays as it is; the table
  // is then read through a private index (see ConfigureDataTables).
  if (!CanWriteInUtf8(dataDir)) return {};
  xbase::RebuildIndexFile(dbf, index, StoreTagsOf(table), env);
  return IndexRebuiltTextUtf8(FileName(index));
}

std::vector<std::string> RepairIndexFilesUtf8(const std::string& dataDir, xbase::Environment& env,
                                              std::vector<std::string>& errors) {
  std::vector<std::string> texts;
  for (const char* table : {kRecordsTable, kCatalogTable}) {
    try {
      std::string text = RepairIndexFileUtf8(dataDir, table, env);
      if (!text.empty()) texts.push_back(std::move(text));
    } catch (const std::exception& e) {
      errors.emplace_back(e.what());
    }
  }
  return texts;
}

}  // namespace store
