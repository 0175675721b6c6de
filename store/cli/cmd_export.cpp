// vantrell-db export DATADIR [--catalog NAME] [--csv]: every record, or
// one catalog's, as tab-separated lines or CSV.

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "database.h"

namespace vdb {

int CmdExport(const Strings& argv) {
  const Args a = ParseArgs(argv, {"--csv"}, true);
  ExpectPositional(a, 1, 1);
  const bool csv = a.flags.count("--csv") > 0;
  Database db(a.positional[0], true);
  return FilesSeen(a.positional[0]).Read(db, [&] {
    xbase::Table& t = db.dm.ApTable1;
    db.dm.ApolloEnv1.SetIndexCacheBytes(kOnePassIndexCache);
    t.Open();
    if (a.catalog) {
      const std::string name = CatalogArgument(*a.catalog);
      t.SetQuery(store::CatalogQueryUtf8(name));
      RequireKnownCatalog(db, name, t.QueryRecCount());
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // A record whose description cannot be read is written without it and
    // told on standard error by its number; the export goes on, so that
    // everything readable gets out.
    int64_t altered = 0, unreadable = 0;
    const RecordColumns col(t);
    OutBuffer out;
    std::string description;
    t.ForEachRecord([&](const xbase::RecordRef& r) {
      vdb::RowView row = col.Row(r);
      try {
        description = r.Memo(col.description);
        row.description = description;
      } catch (const xbase::Error& e) {
        if (e.code() != xbase::ErrorCode::Corrupt) throw;
        out.Flush();
        ErrLine("record " + std::to_string(r.recno) + " is exported without its description: " + e.what());
        ++unreadable;
      }
      if (csv) {
        vdb::AppendCsvLine(row, out.text());
      } else {
        bool changed = false;
        vdb::AppendTsvLine(row, out.text(), &changed);
        altered += changed;
      }
      out.LineDone();
      return true;
    });
    out.Flush();
    const Strings damage = db.HeaderProblems();
    db.Close();
    for (const std::string& d : damage) ErrLine(d);
    if (altered > 0) ErrLine(AlteredNote(altered, true));
    if (unreadable > 0)
      ErrLine(std::to_string(unreadable) + (unreadable == 1 ? " record is" : " records are") +
              " exported without a damaged description (told above); run: vantrell-db check " +
              Native(a.positional[0]));
    return altered > 0 || unreadable > 0 || !damage.empty() ? kExitProblem : kExitOk;
  });
}

}  // namespace vdb
