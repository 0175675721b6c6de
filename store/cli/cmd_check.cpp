// vantrell-db check DATADIR: the files verified, nothing repaired.

#include "database.h"
#include "paths.h"
#include "volumetable.h"

namespace vdb {

int CmdCheck(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  const std::string& dir = a.positional[0];
  // Only the presence of the files is tested up front; the engine reads
  // them itself, read-only, and repairs nothing.
  RequireDatabaseFiles(dir);
  std::vector<std::string> problems;
  bool repairable = false;
  const std::pair<const char*, std::vector<xbase::FieldDef>> tables[] = {
      {store::kRecordsTable, store::RecordsTableFields()}, {store::kCatalogTable, store::CatalogTableFields()}};
  for (const auto& [table, fields] : tables) {
    bool canRepair = false;
    for (std::string& p : xbase::CheckTable(store::DataFilePathUtf8(dir, table), fields, &canRepair))
      problems.push_back(std::move(p));
    repairable = repairable || canRepair;
  }
  // The table of volumes is checked too where there is one; a damaged one
  // keeps no catalog from working, but the user hears of it here.
  const std::string volumes = store::DataFilePathUtf8(dir, store::kVolumeTable);
  if (xbase::FileExists(volumes))
    for (std::string& p : xbase::CheckTable(volumes, store::VolumeTableFields())) problems.push_back(std::move(p));
  if (problems.empty()) {
    Out("ok\n");
    return kExitOk;
  }
  for (const std::string& p : problems) Out(xbase::Printable(p) + "\n");
  if (repairable)
    Out("to put the record counts and the index files right, run: vantrell-db repair " + Native(dir) + "\n");
  return kExitProblem;
}

}  // namespace vdb
