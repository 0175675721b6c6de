// vantrell-db create DATADIR: the missing database files.

#include "cli.h"
#include "folder.h"
#include "schema.h"
#include "setup.h"

namespace vdb {

int CmdCreate(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  const std::string& dir = a.positional[0];
  std::string error;
  if (!store::EnsureDataFolderUtf8(dir, &error)) throw Problem(error);

  const store::CreationOutcome r = store::CreateDatabaseFilesUtf8(dir);
  const std::pair<const char*, const std::string*> outcome[] = {
      {store::kRecordsTable, &r.recordsTable},
      {store::kRecordsIndex, &r.recordsIndex},
      {store::kCatalogTable, &r.catalogTable},
      {store::kCatalogIndex, &r.catalogIndex},
  };
  for (const auto& [file, label] : outcome) {
    std::string text = *label;
    if (text.empty()) text = store::Exists(store::DataFilePathUtf8(dir, file)) ? "exists" : "not created";
    Out(std::string(file) + ": " + text + "\n");
  }
  for (const std::string& reason : r.reasons) ErrLine(reason);
  if (!r.failure.empty()) ErrLine(r.failure + " (in " + Native(dir) + ")");
  if (!r.error.empty()) ErrLine(r.error);
  return r.ok() ? kExitOk : kExitProblem;
}

}  // namespace vdb
