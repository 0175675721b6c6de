// vantrell-db count DATADIR [CATALOG]: the number of records.

#include "database.h"

namespace vdb {

int CmdCount(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 1, 2);
  Database db(a.positional[0], true);
  return FilesSeen(a.positional[0]).Read(db, [&] {
    xbase::Table& t = db.dm.ApTable1;
    t.Open();
    int64_t count;
    if (a.positional.size() == 2) {
      const std::string name = CatalogArgument(a.positional[1]);
      t.SetQuery(store::CatalogQueryUtf8(name));
      count = t.QueryRecCount();
      RequireKnownCatalog(db, name, count);
    } else {
      count = t.RecordCount();
    }
    const Strings damage = db.HeaderProblems();
    db.Close();
    Out(std::to_string(count) + "\n");
    for (const std::string& d : damage) ErrLine(d);
    return damage.empty() ? kExitOk : kExitProblem;
  });
}

}  // namespace vdb
