#include "catalogops.h"

#include <vector>

#include "folder.h"
#include "schema.h"
#include "volumetable.h"

namespace store {

namespace {

// Ends the batch on every way out: a failure leaves what was done durable.
struct Batch {
  explicit Batch(xbase::Table& t) : t(t) { t.BeginBatch(); }
  ~Batch() {
    try {
      t.EndBatch();
    } catch (...) {
    }
  }
  void End() { t.EndBatch(); }
  xbase::Table& t;
};

void Refuse(const std::string& problem) { throw xbase::Error(xbase::ErrorCode::Usage, problem); }

// Appends the name unless a record of exactly that name is there already.
void InsertName(xbase::Table& names, const std::string& name) {
  if (CatalogNameExists(names, name, false)) return;
  Batch batch(names);
  names.Append();
  names.SetFieldByName(kFieldCatalog, name);
  names.Post();
  batch.End();
  names.Refresh();
}

// The volumes a catalog remembers follow its name. A volume table that is
// missing has nothing to follow; one that cannot be used never stands in
// the way of the catalog's own change, which is done already.
template <class Change>
void FollowVolumes(DataTables& db, Change&& change) {
  const std::string dir = db.ApTable2.DatabaseName();
  if (!Exists(DataFilePathUtf8(dir, kVolumeTable))) return;
  try {
    VolumeTable volumes(db.ApolloEnv1, dir);
    change(volumes);
  } catch (const std::exception&) {
  }
}

}  // namespace

std::string CatalogNameProblem(std::string_view name) {
  if (StoredCatalogName(name).empty()) return "A catalog name cannot be empty.";
  if (name.size() > (size_t)kCatalogWidth)
    return "The catalog name \"" + std::string(name) + "\" is " + std::to_string(name.size()) +
           " bytes long; a catalog name holds at most " + std::to_string(kCatalogWidth) + " bytes.";
  return {};
}

bool CatalogNameExists(xbase::Table& names, std::string_view name, bool ignoreCase) {
  xbase::LocateOptions options;
  options.caseInsensitive = ignoreCase;
  return names.Locate(kFieldCatalog, StoredCatalogName(name), options);
}

void AddCatalogName(DataTables& db, const std::string& name) {
  if (const std::string problem = CatalogNameProblem(name); !problem.empty()) Refuse(problem);
  const std::string stored = StoredCatalogName(name);
  if (CatalogNameExists(db.ApTable2, stored, true)) Refuse("A catalog named \"" + stored + "\" exists already.");
  InsertName(db.ApTable2, stored);
}

void DeleteCatalogName(DataTables& db, const std::string& name) {
  xbase::Table& names = db.ApTable2;
  Batch batch(names);
  while (names.Locate(kFieldCatalog, name)) names.Delete();
  batch.End();
  names.Refresh();
  FollowVolumes(db, [&](VolumeTable& v) { v.DeleteCatalog(name); });
}

int64_t DeleteCatalogRecords(DataTables& db) {
  xbase::Table& t = db.ApTable1;
  t.DisableControls();
  struct Resume {
    xbase::Table& t;
    ~Resume() { t.EnableControls(); }
  } resume{t};
  int64_t deleted = 0;
  Batch batch(t);
  for (t.First(); !t.Eof(); ++deleted) t.Delete();  // Delete moves on to the next record
  batch.End();
  t.Refresh();
  return deleted;
}

int64_t RenameCatalogRecords(DataTables& db, const std::string& oldName, const std::string& newName) {
  if (StoredCatalogName(oldName) == StoredCatalogName(newName)) return 0;
  xbase::Table& t = db.ApTable1;
  t.DisableControls();
  struct Resume {
    xbase::Table& t;
    ~Resume() { t.EnableControls(); }
  } resume{t};
  // The records are listed first: each leaves the view as it is renamed.
  std::vector<xbase::Bookmark> records;
  for (t.First(); !t.Eof(); t.Next()) records.push_back(t.GetBookmark());
  // The second cursor, over every catalog, makes the changes.
  xbase::Table& all = db.ApTable3;
  const bool wasOpen = all.Active();
  if (!wasOpen) all.Open();
  int64_t renamed = 0;
  Batch batch(t);
  for (const xbase::Bookmark& b : records) {
    if (!all.GotoBookmark(b) || all.FieldByName(kFieldCatalog) != oldName) continue;
    all.Edit();
    all.SetFieldByName(kFieldCatalog, newName);
    all.Post();
    ++renamed;
  }
  batch.End();
  if (!wasOpen) all.Close();
  t.Refresh();
  return renamed;
}

int64_t RenameCatalog(DataTables& db, const std::string& oldName, const std::string& newName) {
  if (const std::string problem = CatalogNameProblem(newName); !problem.empty()) Refuse(problem);
  const std::string from = StoredCatalogName(oldName), to = StoredCatalogName(newName);
  if (from == to) return 0;
  InsertName(db.ApTable2, to);
  const int64_t renamed = RenameCatalogRecords(db, from, to);
  FollowVolumes(db, [&](VolumeTable& v) { v.RenameCatalog(from, to); });
  DeleteCatalogName(db, from);
  return renamed;
}

}  // namespace store
