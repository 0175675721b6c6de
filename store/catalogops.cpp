#include "catalogops.h"

#include <vector>

#include "schema.h"

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

}  // namespace

void AddCatalogName(DataTables& db, const std::string& name) {
  xbase::Table& names = db.ApTable2;
  if (names.Locate(kFieldCatalog, name)) return;
  names.Append();
  names.SetFieldByName(kFieldCatalog, name);
  names.Post();
  names.Refresh();
}

void DeleteCatalogName(DataTables& db, const std::string& name) {
  xbase::Table& names = db.ApTable2;
  {
    Batch batch(names);
    while (names.Locate(kFieldCatalog, name)) names.Delete();
    batch.End();
  }
  // The deleted names leave the file: the table is packed on its own.
  names.Close();
  names.SetExclusive(true);
  try {
    names.Open();
    names.Pack();
    names.Close();
  } catch (...) {
    names.SetExclusive(false);
    try {
      names.Close();
      names.Open();
    } catch (...) {
    }
    throw;
  }
  names.SetExclusive(false);
  names.Open();
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

}  // namespace store
