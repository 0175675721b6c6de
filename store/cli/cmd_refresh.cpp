// vantrell-db refresh DATADIR CATALOG [FOLDER] [--add] [--update] [--follow]
// [--delete]: the catalog compared with its disks as diff compares it, and
// the chosen kinds of difference applied to its records.

#include "catalogdiff.h"
#include "database.h"
#include "volumetable.h"

namespace vdb {

int CmdRefresh(const Strings& argv) {
  const Args a = ParseArgs(argv, {"--add", "--update", "--follow", "--delete"}, false);
  ExpectPositional(a, 2, 3);
  const bool add = a.flags.count("--add") > 0, update = a.flags.count("--update") > 0,
             follow = a.flags.count("--follow") > 0, remove = a.flags.count("--delete") > 0;
  if (a.flags.empty())
    throw UsageError("refresh applies nothing without --add, --update, --follow or --delete (diff shows what each would do)");
  const std::string& dir = a.positional[0];
  const std::string name = CatalogArgument(a.positional[1]);

  Database db(dir);
  xbase::Table& records = db.dm.ApTable1;
  records.SetExclusive(true);
  records.Open();
  records.DisableControls();
  try {
    records.RequireWritable();
  } catch (const xbase::Error& e) {
    db.Close();
    throw Problem(std::string(e.what()) + "; nothing was refreshed (diff compares without writing)");
  }
  records.SetQuery(store::CatalogQueryUtf8(name));
  RequireKnownCatalog(db, name, records.QueryRecCount());
  records.SetQuery("");

  store::VolumeTable volumes(db.dm.ApolloEnv1, dir);
  if (!volumes.Problem().empty()) ErrLine(volumes.Problem());
  store::DiffOptions options;
  options.folders = CompareFolders(a, 2, name, !volumes.Rows(name).empty());
  const store::DiffResult compared = store::CompareCatalog(records, volumes, name, options);
  if (TellCompareNotes(compared)) {
    db.Close();
    return kExitProblem;
  }

  // A moved file not followed is a new file and a missing record.
  std::vector<store::DiffEntry> chosen;
  for (const store::DiffEntry& e : compared.entries) {
    switch (e.kind) {
      case store::DiffKind::New:
        if (add) chosen.push_back(e);
        break;
      case store::DiffKind::Changed:
        if (update) chosen.push_back(e);
        break;
      case store::DiffKind::Missing:
        if (remove) chosen.push_back(e);
        break;
      case store::DiffKind::Moved:
        if (follow) {
          chosen.push_back(e);
          break;
        }
        if (add) {
          store::DiffEntry n = e;
          n.kind = store::DiffKind::New;
          n.recno = 0;
          n.storedPath.clear();
          chosen.push_back(std::move(n));
        }
        if (remove) {
          store::DiffEntry m = e;
          m.kind = store::DiffKind::Missing;
          m.path = m.storedPath;
          m.newStoredPath.clear();
          m.size = -1;
          chosen.push_back(std::move(m));
        }
        break;
    }
  }

  store::RefreshResult r;
  try {
    r = store::ApplyRefresh(records, volumes, name, chosen, {}, {});
    db.Close();
  } catch (const std::exception& e) {
    try {
      if (records.GetState() != xbase::State::Browse) records.Cancel();
      db.Close();
    } catch (const std::exception&) {
    }
    ErrLine(e.what());
    ErrLine("what was applied before the failure is kept; run vantrell-db diff to see what is left");
    return kExitProblem;
  }

  // A folder named here and not yet remembered is remembered now.
  if (a.positional.size() > 2 && !options.folders.empty()) {
    bool known = false;
    for (const store::VolumeRow& row : volumes.Rows(name)) known = known || row.folder == options.folders[0];
    disk::Volume volume;
    std::string error;
    if (!known && disk::VolumeOf(options.folders[0], &volume, &error)) {
      try {
        volumes.Remember(name, volume, options.folders[0]);
      } catch (const std::exception& e) {
        ErrLine("the volume of " + Native(options.folders[0]) + " was not remembered: " + e.what());
      }
    }
  }

  for (const std::string& p : r.problems) ErrLine(p);
  Out(std::to_string(r.added) + " added, " + std::to_string(r.updated) + " updated, " + std::to_string(r.followed) +
      " followed, " + std::to_string(r.deleted) + " deleted\n");
  return r.problems.empty() && !r.stopped ? kExitOk : kExitProblem;
}

}  // namespace vdb
