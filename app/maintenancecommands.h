// Options > Database: backup, pack and reindex, with the status text and a
// progress bar while a pass runs.
#pragma once

#include <QString>

#include <functional>

class MainContext;
class TCatalogTabs;
class TRecordCommands;

// What a database pass asks of the window.
class MaintenanceView {
 public:
  virtual ~MaintenanceView() = default;
  // The window painted as it stands, the user's input left waiting.
  virtual void Repaint() = 0;
  virtual void SetBusy(bool busy) = 0;
  // While a pass has the files to itself: the grid lets go of its own
  // cursor and is not painted, the window stays open, a progress bar shows
  // `done` (0 to 1).
  virtual void BeginPass() = 0;
  virtual void ShowProgress(double done) = 0;
  virtual void EndPass() = 0;
  // The grid reads the catalog anew; its chosen rows are forgotten when
  // the records were numbered anew.
  virtual void ResetRecords() = 0;
  virtual void RecordsRenumbered() = 0;
};

class TDatabaseMaintenance {
 public:
  TDatabaseMaintenance(MainContext& context, MaintenanceView& view, TCatalogTabs& tabs, TRecordCommands& records);

  void mnuBackupClick();
  void mnuPackClick();
  void mnuReindexClick();

 private:
  // Runs a pack or reindex (`work`, given the catalog's showing and the
  // progress to tell) with the status text `started`, the grid's reads held
  // off meanwhile. After a failure the catalog, the record and the second
  // cursor are as they were. False after a failure.
  bool RunMaintenance(const QString& started,
                      const std::function<void(const std::function<void()>& showCatalog,
                                               const std::function<void(double)>& progress)>& work);

  MainContext& context_;
  MaintenanceView& view_;
  TCatalogTabs& tabs_;
  TRecordCommands& records_;
};
