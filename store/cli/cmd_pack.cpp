// vantrell-db pack DATADIR: the deleted records removed for good.

#include "database.h"

namespace vdb {

int CmdPack(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 1);
  Database db(a.positional[0]);
  const int64_t saved = store::PackRecordsOf(db.dm);
  db.Close();
  Out(std::to_string(saved) + "\n");
  return kExitOk;
}

}  // namespace vdb
