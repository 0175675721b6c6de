// vantrell-db scan DATADIR CATALOG FOLDER: every file of a folder tree
// becomes a record of the catalog, as an add of the folder with its
// subfolders makes it, and the catalog remembers the folder's volume.

#include <algorithm>
#include <set>

#include "catalogdiff.h"
#include "catalogops.h"
#include "database.h"
#include "treewalk.h"
#include "volumetable.h"

namespace vdb {

int CmdScan(const Strings& argv) {
  const Args a = ParseArgs(argv, {}, false);
  ExpectPositional(a, 3, 3);
  const std::string& dir = a.positional[0];
  if (const std::string problem = store::CatalogNameProblem(a.positional[1]); !problem.empty()) throw Problem(problem);
  const std::string name = store::StoredCatalogName(a.positional[1]);
  const std::string folder = FullFolderPath(a.positional[2]);
  if (!store::Exists(folder)) throw Problem("the folder " + Native(folder) + " does not exist");
  if (!store::IsFolder(folder)) throw Problem(Native(folder) + " is not a folder");

  Database db(dir);
  xbase::Table& records = db.dm.ApTable1;
  xbase::Table& catalogs = db.dm.ApTable2;
  records.SetExclusive(true);
  catalogs.SetExclusive(true);
  records.Open();
  catalogs.Open();
  records.DisableControls();
  catalogs.DisableControls();
  try {
    records.RequireWritable();
    catalogs.RequireWritable();
  } catch (const xbase::Error& e) {
    db.Close();
    throw Problem(std::string(e.what()) + "; nothing was added");
  }

  // The catalog is added first, as an import adds the catalogs it names.
  bool catalogAdded = false;
  if (!store::CatalogNameExists(catalogs, name, false)) {
    std::set<std::string> known;
    for (catalogs.First(); !catalogs.Eof(); catalogs.Next()) known.insert(catalogs.FieldByName(store::kFieldCatalog));
    if (known.size() >= size_t(store::kMaxCatalogs)) {
      db.Close();
      throw Problem("catalog \"" + name + "\" would be catalog number " + std::to_string(known.size() + 1) +
                    "; at most " + std::to_string(store::kMaxCatalogs) + " catalogs are kept; nothing was added");
    }
    catalogs.Append();
    catalogs.SetFieldByName(store::kFieldCatalog, name);
    catalogs.Post();
    catalogAdded = true;
  }

  disk::Volume volume;
  std::string volumeError;
  const bool volumeKnown = disk::VolumeOf(folder, &volume, &volumeError);

  int64_t added = 0;
  Strings notAdded, shortened;
  std::vector<disk::WalkSkip> skipped;
  std::string walkError;
  const store::RefreshTexts texts;
  // With many files against the table's size the index is built once at
  // the end, as an import builds it.
  const int64_t recordsBefore = records.RecordCount();
  records.BeginLoad();
  try {
    disk::WalkTree(
        folder, {},
        [&](const disk::WalkedFile& f) {
          bool cut = false;
          std::string why;
          if (!store::AppendFileRecord(records, name, f.path, f.size, f.mtime, texts, &cut, &why)) {
            notAdded.push_back(Native(f.path) + ": " + why + "; not added");
            return;
          }
          ++added;
          if (cut) shortened.push_back(Native(f.path));
        },
        &skipped, &walkError);
    records.EndBatch();
    db.Close();
  } catch (const std::exception& e) {
    // What the table holds is what is told: records of the load that had
    // not reached the file when it failed are not among them.
    try {
      if (records.GetState() == xbase::State::Insert) records.Cancel();
      records.EndBatch();
    } catch (const std::exception&) {
    }
    try {
      if (records.Active()) added = std::min<int64_t>(added, records.RecordCount() - recordsBefore);
      db.Close();
    } catch (const std::exception&) {
    }
    ErrLine(e.what());
    ErrLine(std::to_string(added) + (added == 1 ? " file" : " files") + " added before the failure " +
            (added == 1 ? "is" : "are") + " kept" + (catalogAdded ? " (catalog added)" : ""));
    return kExitProblem;
  }
  if (!walkError.empty()) ErrLine(walkError);

  // The folder's volume, so that a diff finds the files wherever the disk
  // is mounted next time.
  store::VolumeTable volumes(db.dm.ApolloEnv1, dir);
  if (!volumes.Problem().empty()) ErrLine(volumes.Problem());
  if (!volumeKnown) {
    ErrLine("the volume of " + Native(folder) + " is not known (" + volumeError +
            "); the catalog finds its files only where they are now");
  } else {
    try {
      volumes.Remember(name, volume, folder);
    } catch (const std::exception& e) {
      ErrLine("the volume of " + Native(folder) + " was not remembered: " + e.what());
    }
  }

  for (const std::string& s : shortened)
    ErrLine(s + ": its title was shortened to " + std::to_string(store::kTitleWidth) + " bytes");
  for (const std::string& s : notAdded) ErrLine(s);
  for (const disk::WalkSkip& s : skipped) ErrLine(Native(s.path) + ": " + s.reason + "; not added");
  const size_t left = notAdded.size() + skipped.size();
  Out(std::to_string(added) + (added == 1 ? " file" : " files") + " added to catalog \"" + name + "\"");
  if (catalogAdded) Out(" (catalog added)");
  if (left > 0) Out(", " + std::to_string(left) + " left out (told on standard error)");
  Out("\n");
  return left > 0 || !walkError.empty() ? kExitProblem : kExitOk;
}

}  // namespace vdb
