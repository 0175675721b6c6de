// The program's three cursors over the database and the maintenance done
// on them (pack, reindex), free of Qt: the window's data module is these
// tables with data sources around them, the command-line tool uses them
// alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <xbase.h>

namespace store {

struct DataTables {
  DataTables();
  ~DataTables();  // closes the tables; a failure there cannot be reported any more
  DataTables(const DataTables&) = delete;
  DataTables& operator=(const DataTables&) = delete;

  // Declared in construction order: the tables need the environment.
  xbase::Environment ApolloEnv1;
  xbase::Table ApTable2;  // catalog names, tag CtLg
  xbase::Table ApTable1;  // the records of the shown catalog, tag CatFlTl
  xbase::Table ApTable3;  // second cursor over the records (reports, search)

  // Set while the records table is being packed; the record view skips its
  // file checks meanwhile.
  bool Packing = false;

  void CloseAll() noexcept;
};

// Points the three tables at `dataDir` (not opening them) with their tags
// and required fields, turns the engine's messages off and holds both index
// files to the store's tags (RepairIndexFilesUtf8). Returns the status texts
// of recreated index files; failures of the repair go to `problems`. Engine
// errors of the configuration propagate.
std::vector<std::string> ConfigureDataTables(DataTables& db, const std::string& dataDir,
                                             std::vector<std::string>& problems);

// How far a pack or reindex has come, 0 to 1, told between batches of
// records and with 1 when it is done; it must not use the tables.
using MaintenanceProgress = std::function<void(double)>;

// Removes the deleted records of the records table for good. ApTable3 is
// closed and the packing flag set; ApTable1 is reopened exclusively,
// packed and reopened shared; then ApTable3 is opened, `showCatalog` runs
// (the window shows its catalog again) and the flag is cleared. Returns how
// many bytes the table file shrank (its size before minus after; a file
// that cannot be found counts as -1). Engine errors propagate after
// ApTable1 has been put back to shared use where possible.
int64_t PackRecordsOf(DataTables& db, const std::function<void()>& showCatalog = {},
                      const MaintenanceProgress& progress = {});

// Rebuilds every tag of both tables: each is reopened exclusively, its
// index file opened and reindexed, and reopened shared. ApTable3 is closed
// meanwhile and open afterwards; then `showCatalog` runs. An index file
// that cannot serve its table (RepairIndexFileUtf8) is recreated first,
// while the table is closed; the status texts of those are returned. An
// index file of a newer format is refused with an error naming it.
std::vector<std::string> ReindexTablesOf(DataTables& db, const std::function<void()>& showCatalog = {},
                                         const MaintenanceProgress& progress = {});

}  // namespace store
