// vantrell-db reindex DATADIR: the index files rebuilt.

#include "database.h"

namespace vdb {

int CmdReindex(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  Database db(a.positional[0]);
  for (const std::string& text : store::ReindexTablesOf(db.dm)) ErrLine(text);
  db.Close();
  return kExitOk;
}

}  // namespace vdb
