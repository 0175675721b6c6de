#include "indexfiles.h"

#include <QFileInfo>

#include <cctype>
#include <exception>
#include <string>
#include <vector>

#include "createdb.h"
#include "datafiles.h"

namespace store {

namespace {

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

}  // namespace

QString IndexRebuiltText(const QString& indexFile) {
  return QStringLiteral("Index file %1 was rebuilt.").arg(indexFile);
}

QString RepairIndexFile(const QString& dataDir, const char* table, xbase::Environment& env) {
  const StoreTag* want = TagOf(table);
  if (!want) return {};
  const QString tablePath = DataFilePath(dataDir, table);
  if (!QFileInfo::exists(tablePath)) return {};
  const std::string dbf = EnginePath(tablePath);
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
  xbase::RebuildIndexFile(dbf, index, {xbase::TagInfo{want->tag, want->key, kTagCondition, want->unique, 0}}, env);
  return IndexRebuiltText(QFileInfo(FromEnginePath(index)).fileName());
}

QStringList RepairIndexFiles(const QString& dataDir, xbase::Environment& env, QStringList& errors) {
  QStringList texts;
  for (const char* table : {kRecordsTable, kCatalogTable}) {
    try {
      const QString text = RepairIndexFile(dataDir, table, env);
      if (!text.isEmpty()) texts << text;
    } catch (const std::exception& e) {
      errors << FromUtf8(e.what());
    }
  }
  return texts;
}

}  // namespace store
