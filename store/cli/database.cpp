#include "database.h"

namespace vdb {

void RequireDatabaseFiles(const std::string& dir) {
  if (!store::Exists(dir)) throw Problem("the data folder " + Native(dir) + " does not exist");
  if (!store::IsFolder(dir)) throw Problem(Native(dir) + " is not a folder");
  const Strings missing = store::FilesToCreateUtf8(dir);
  if (!missing.empty()) {
    std::string text;
    for (const std::string& m : missing)
      text += (text.empty() ? "" : ", ") + Native(store::DataFilePathUtf8(dir, m.c_str()));
    throw Problem("missing database file" + std::string(missing.size() > 1 ? "s " : " ") + text +
                  " (run: vantrell-db create " + Native(dir) + ")");
  }
}

namespace {

// Whether the catalog-names table holds this name (letter case counts).
bool CatalogExists(store::DataTables& dm, const std::string& name) {
  if (!dm.ApTable2.Active()) dm.ApTable2.Open();
  return dm.ApTable2.Locate(store::kFieldCatalog, name);
}

}  // namespace

std::string CatalogArgument(const std::string& arg) {
  const std::string name = store::StoredCatalogName(arg);
  if (name.empty()) throw Problem("the catalog name is empty");
  // A longer name is no catalog's: cut, it could name another one.
  std::string_view given = arg;
  while (!given.empty() && given.back() == ' ') given.remove_suffix(1);
  if (given.size() > size_t(store::kCatalogWidth))
    throw Problem("the catalog name is " + std::to_string(given.size()) + " bytes long, but catalog names hold at most " +
                  std::to_string(store::kCatalogWidth) + "; no catalog has it");
  return name;
}

void RequireKnownCatalog(Database& db, const std::string& name, int64_t records) {
  if (records == 0 && !CatalogExists(db.dm, name))
    throw Problem("no catalog named \"" + name + "\" in " + Native(store::DataFilePathUtf8(db.folder, store::kCatalogTable)));
}

std::string AlteredNote(int64_t count, bool csvHint) {
  return std::to_string(count) + (count == 1 ? " record holds" : " records hold") +
         " a tab or line break in its catalog, title, path, size or date; written with spaces "
         "in their place" +
         (csvHint ? " (--csv keeps them exactly)" : "");
}

}  // namespace vdb
