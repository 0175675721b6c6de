#include "indexfiles.h"

#include "datafiles.h"
#include "setup.h"

namespace store {

QString IndexRebuiltText(const QString& indexFile) { return FromUtf8(IndexRebuiltTextUtf8(ToUtf8(indexFile))); }

QString RepairIndexFile(const QString& dataDir, const char* table, xbase::Environment& env) {
  return FromUtf8(RepairIndexFileUtf8(EnginePath(dataDir), table, env));
}

QStringList RepairIndexFiles(const QString& dataDir, xbase::Environment& env, QStringList& errors) {
  std::vector<std::string> problems;
  QStringList texts;
  for (const std::string& text : RepairIndexFilesUtf8(EnginePath(dataDir), env, problems)) texts << FromUtf8(text);
  for (const std::string& p : problems) errors << FromUtf8(p);
  return texts;
}

}  // namespace store
