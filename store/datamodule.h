// The data module: the engine environment, the three tables of the
// program and a data source over each, configured at start-up.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include <xbase.h>

#include "catalogvolumes.h"
#include "createdb.h"
#include "datatables.h"
#include "recordcounts.h"

// Links one table to the data-aware side: the table's notifications become
// Qt signals. Suspending and resuming the controls is the table's
// DisableControls / EnableControls.
class TDataSource : public QObject {
  Q_OBJECT

 public:
  explicit TDataSource(xbase::Table& table, QObject* parent = nullptr);
  ~TDataSource() override;

  xbase::Table& DataSet() const { return table_; }
  xbase::State State() const { return table_.GetState(); }

  // A data-aware control may start an edit by itself when this is set.
  bool AutoEdit = true;
  // While cleared, no signal is sent.
  bool Enabled = true;

 signals:
  // The current record changed (field empty), or one field of the edit
  // buffer did (its name).
  void DataChange(const QString& field);
  void StateChange();

 private:
  xbase::Table& table_;
};

class TDataModule1 : public QObject, public store::DataTables {
  Q_OBJECT

 public:
  // Called when database files are missing, with the data folder; the
  // program shows the "Database Utility" window there, which creates them.
  using CreateHook = std::function<void(const QString& dataDir)>;
  // Told of an error raised during start-up; start-up goes on.
  using ErrorHook = std::function<void(const QString& message)>;
  // Told of a status text for the user (an index file recreated).
  using StatusHook = std::function<void(const QString& text)>;

  explicit TDataModule1(QObject* parent = nullptr);
  ~TDataModule1() override;

  // The start-up sequence: clears the packing flag, tests the four database
  // files and, when one is missing, calls `createHook` (without one, creates
  // the missing files here and keeps the outcome in LastCreation); then
  // configures ApTable1/2/3 on the data folder without opening them and
  // turns the engine's messages off; last, holds both index files to the
  // store's tags (store::RepairIndexFiles), so that an index holding other
  // tags, or none readable, is recreated instead of refusing its table:
  // each recreation's status text goes to `onStatus` and IndexNotes. An
  // error on the way is passed to `onError` and returned; the steps after
  // it are skipped and the caller goes on. Returns an empty text when all
  // went well.
  QString DataModule1Create(const QString& dataDir, const CreateHook& createHook = {},
                            const ErrorHook& onError = {}, const StatusHook& onStatus = {});

  const QString& DataFolder() const { return dataFolder_; }

  // ApTable1 shows the records of the catalog `name`; the catalog count
  // becomes theirs. The caller refreshes the cursor.
  void ShowCatalog(const QString& name);
  // The total count becomes the number of records in ApTable1's file.
  void CountAllRecords();
  // Deletes the records of the catalog ApTable1 shows; the total count
  // loses them. Returns how many were deleted.
  int64_t DeleteShownCatalogRecords();

  // The tables (ApolloEnv1, ApTable1/2/3, Packing) are the DataTables
  // base; the data sources are built after it.
  TDataSource DataSource1;
  TDataSource DataSource2;
  TDataSource DataSource3;
  // The records of the shown catalog and of all catalogs (ShowCatalog and
  // CountAllRecords set them; commands that add or remove records adjust
  // them).
  RecordCounts Counts;
  // The volumes each catalog's files came from (VTLVol.dbf), opened when
  // first asked for.
  store::CatalogVolumes Volumes{ApolloEnv1};
  // The outcome of the creation run by DataModule1Create itself (no hook).
  std::optional<store::CreationResult> LastCreation;
  // The status texts of the index files the last DataModule1Create
  // recreated ("Index file VTLDataA.nsx was rebuilt."), for the window.
  QStringList IndexNotes;

 private:
  QString dataFolder_;
};
