// vantrell-db search DATADIR TEXT [--title]: the records whose path (or
// title) holds the text, in index order, and their number.

#include "database.h"

namespace vdb {

int CmdSearch(const Strings& argv) {
  const Args a = ParseArgs(argv, {"--title"}, false);
  ExpectPositional(a, 2, 2);
  const char* field = a.flags.count("--title") ? store::kFieldTitle : store::kFieldName;
  const std::string& text = a.positional[1];
  Database db(a.positional[0], true);
  return FilesSeen(a.positional[0]).Read(db, [&] {
    // The search's own cursor, without any catalog restriction.
    xbase::Table& t = db.dm.ApTable3;
    db.dm.ApolloEnv1.SetIndexCacheBytes(kOnePassIndexCache);
    t.Open();
    // An empty text occurs in no text: it matches nothing.
    const std::vector<uint32_t> hits =
        text.empty() ? std::vector<uint32_t>{} : t.FindContaining(field, text, true);
    int64_t shown = 0, altered = 0;
    const RecordColumns col(t);
    OutBuffer out;
    t.ForEachRecordOf(hits, [&](const xbase::RecordRef& r) {
      const vdb::RowView row = col.Row(r);
      bool changed = false;
      std::string& line = out.text();
      vdb::AppendPlainColumn(row.catalog, line, &changed);
      for (std::string_view c : {row.title, row.path, row.size, row.date}) {
        line += '\t';
        vdb::AppendPlainColumn(c, line, &changed);
      }
      line += '\n';
      out.LineDone();
      altered += changed;
      ++shown;
      return true;
    });
    out.Flush();
    const Strings damage = db.HeaderProblems();
    db.Close();
    Out(std::to_string(shown) + "\n");
    for (const std::string& d : damage) ErrLine(d);
    if (altered > 0) ErrLine(AlteredNote(altered, false));
    return altered > 0 || !damage.empty() ? kExitProblem : kExitOk;
  });
}

}  // namespace vdb
