#include "datamodule.h"

#include <QCoreApplication>

#include "catalogops.h"
#include "datafiles.h"
#include "schema.h"

TDataSource::TDataSource(xbase::Table& table, QObject* parent) : QObject(parent), table_(table) {
  table_.OnDataChange = [this](const std::string& field) {
    if (Enabled) emit DataChange(store::FromUtf8(field));
  };
  table_.OnStateChange = [this] {
    if (Enabled) emit StateChange();
  };
}

TDataSource::~TDataSource() {
  // The table outlives this object; it must not call into it afterwards.
  table_.OnDataChange = nullptr;
  table_.OnStateChange = nullptr;
}

TDataModule1::TDataModule1(QObject* parent)
    : QObject(parent), DataSource1(ApTable1), DataSource2(ApTable2), DataSource3(ApTable3) {
  DataSource3.AutoEdit = false;
}

TDataModule1::~TDataModule1() {
  // Close while the data sources still exist would send them signals from
  // a half-destroyed module: switch them off first. Closing posts a changed
  // record; a failure there cannot be reported any more.
  DataSource1.Enabled = DataSource2.Enabled = DataSource3.Enabled = false;
  CloseAll();
}

QString TDataModule1::DataModule1Create(const QString& dataDir, const CreateHook& createHook,
                                        const ErrorHook& onError, const StatusHook& onStatus) {
  QString error;
  try {
    Packing = false;
    dataFolder_ = dataDir;
    Volumes.SetFolder(dataDir);
    LastCreation.reset();
    IndexNotes.clear();
    if (!store::FilesToCreateUtf8(store::ToUtf8(dataDir)).empty()) {
      if (createHook)
        createHook(dataDir);
      else
        LastCreation = store::CreateDatabaseFiles(dataDir);
    }
    if (QCoreApplication::instance()) QCoreApplication::processEvents();

    std::vector<std::string> problems;
    for (const std::string& text : store::ConfigureDataTables(*this, store::EnginePath(dataDir), problems))
      IndexNotes << store::FromUtf8(text);
    if (onStatus)
      for (const QString& text : IndexNotes) onStatus(text);
    for (const std::string& p : problems) {
      if (!error.isEmpty()) error += QLatin1Char('\n');
      error += store::FromUtf8(p);
    }
  } catch (const std::exception& e) {
    error = store::FromUtf8(e.what());
  }
  if (!error.isEmpty() && onError) onError(error);
  return error;
}

void TDataModule1::ShowCatalog(const QString& name) {
  ApTable1.SetQuery(store::CatalogQueryUtf8(store::ToUtf8(name)));
  Counts.SetCatalog((int)ApTable1.QueryRecCount());
}

void TDataModule1::CountAllRecords() { Counts.SetTotal((int)ApTable1.RecordCount()); }

int64_t TDataModule1::DeleteShownCatalogRecords() {
  const int64_t deleted = store::DeleteCatalogRecords(*this);
  Counts.SetTotal(Counts.Total() - (int)deleted);
  return deleted;
}
