// vantrell-db repair DATADIR: the record counts set to the records the
// tables hold, and the index files rebuilt.

#include "database.h"

namespace vdb {

int CmdRepair(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  const std::string& dir = a.positional[0];
  RequireDatabaseFiles(dir);
  // The record counts first, with each table to itself: the program, the
  // index build and every other command refuse a header that counts
  // records the file does not hold. Then every index file is built anew
  // for the tables as they now are.
  const std::pair<const char*, std::vector<xbase::FieldDef>> tables[] = {
      {store::kRecordsTable, store::RecordsTableFields()}, {store::kCatalogTable, store::CatalogTableFields()}};
  for (const auto& [table, fields] : tables) {
    xbase::Environment env;
    const std::string note = xbase::RepairRecordCount(store::DataFilePathUtf8(dir, table), fields, env);
    if (!note.empty()) Out(xbase::Printable(note) + "\n");
  }
  Database db(dir);
  for (const std::string& text : store::ReindexTablesOf(db.dm)) ErrLine(text);
  db.Close();
  Out("index files rebuilt\n");
  return kExitOk;
}

}  // namespace vdb
