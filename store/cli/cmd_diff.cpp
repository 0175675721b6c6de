// vantrell-db diff DATADIR CATALOG [FOLDER]: the files of the catalog's
// folders that are new, changed, missing or moved since they were added,
// one tab-separated line each; the exit status tells whether anything
// differs, as diff's does.

#include "catalogdiff.h"
#include "database.h"
#include "filetexts.h"
#include "volumetable.h"

namespace vdb {

namespace {

// diff's own statuses: 0 the same, 1 different, 2 trouble.
constexpr int kDiffSame = 0, kDiffDifferent = 1, kDiffTrouble = 2;

}  // namespace

bool TellCompareNotes(const store::DiffResult& r) {
  for (const std::string& label : r.notConnected)
    ErrLine("volume '" + label + "' is not connected: its records were not compared");
  for (const disk::WalkSkip& s : r.skipped) ErrLine(Native(s.path) + ": " + s.reason + "; not compared");
  if (r.error.empty()) return false;
  ErrLine(r.error);
  return true;
}

Strings CompareFolders(const Args& a, size_t folderAt, const std::string& catalog, bool remembersAny) {
  if (a.positional.size() > folderAt) {
    const std::string folder = FullFolderPath(a.positional[folderAt]);
    if (!store::IsFolder(folder)) throw Problem(Native(folder) + " is not a folder");
    return {folder};
  }
  if (!remembersAny)
    throw Problem("catalog \"" + catalog +
                  "\" remembers no folder its files were scanned from; name the folder to compare");
  return {};
}

int CmdDiff(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 2, 3);
  try {
    const std::string& dir = a.positional[0];
    Database db(dir, true);
    return FilesSeen(dir).Read(db, [&] {
      xbase::Table& t = db.dm.ApTable3;
      db.dm.ApolloEnv1.SetIndexCacheBytes(kOnePassIndexCache);
      t.Open();
      const std::string name = CatalogArgument(a.positional[1]);
      t.SetQuery(store::CatalogQueryUtf8(name));
      RequireKnownCatalog(db, name, t.QueryRecCount());
      t.SetQuery("");
      store::VolumeTable volumes(db.dm.ApolloEnv1, dir, false);
      if (!volumes.Problem().empty()) ErrLine(volumes.Problem());
      store::DiffOptions options;
      options.folders = CompareFolders(a, 2, name, !volumes.Rows(name).empty());
      const store::DiffResult r = store::CompareCatalog(t, volumes, name, options);
      const Strings damage = db.HeaderProblems();
      db.Close();
      if (TellCompareNotes(r)) return kDiffTrouble;
      OutBuffer out;
      int64_t altered = 0;
      for (const store::DiffEntry& e : r.entries) {
        std::string& line = out.text();
        bool changed = false;
        line += store::DiffKindWord(e.kind);
        line += '\t';
        AppendPlainColumn(e.path, line, &changed);
        if (e.kind == store::DiffKind::Moved) {
          line += '\t';
          AppendPlainColumn(e.storedPath, line, &changed);
        }
        if (e.kind != store::DiffKind::Missing) {
          line += '\t' + std::to_string(e.size) + '\t' + disk::DateFieldText(disk::DosDateOf(e.mtime));
        }
        line += '\n';
        altered += changed;
        out.LineDone();
      }
      out.Flush();
      for (const std::string& d : damage) ErrLine(d);
      if (altered > 0)
        ErrLine(std::to_string(altered) + (altered == 1 ? " path holds" : " paths hold") +
                " a tab or line break; written with spaces in their place");
      return r.entries.empty() ? kDiffSame : kDiffDifferent;
    });
  } catch (const std::exception& e) {
    ErrLine(e.what());
    return kDiffTrouble;
  }
}

}  // namespace vdb
