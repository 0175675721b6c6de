#include "datamodule.h"

#include <QCoreApplication>

#include "datafiles.h"
#include "indexfiles.h"

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
    : QObject(parent),
      ApTable2(ApolloEnv1),
      ApTable1(ApolloEnv1),
      ApTable3(ApolloEnv1),
      DataSource1(ApTable1),
      DataSource2(ApTable2),
      DataSource3(ApTable3) {
  ApolloEnv1.SetDeleted(true);
  DataSource3.AutoEdit = false;
}

TDataModule1::~TDataModule1() {
  // Close while the data sources still exist would send them signals from
  // a half-destroyed module: switch them off first. Closing posts a changed
  // record; a failure there cannot be reported any more.
  DataSource1.Enabled = DataSource2.Enabled = DataSource3.Enabled = false;
  for (xbase::Table* t : {&ApTable3, &ApTable1, &ApTable2}) {
    try {
      t->Close();
    } catch (const std::exception&) {
    }
  }
}

QString TDataModule1::DataModule1Create(const QString& dataDir, const CreateHook& createHook,
                                        const ErrorHook& onError, const StatusHook& onStatus) {
  QString error;
  try {
    Packing = false;
    dataFolder_ = dataDir;
    LastCreation.reset();
    IndexNotes.clear();
    if (!store::MissingDatabaseFiles(dataDir).isEmpty()) {
      if (createHook)
        createHook(dataDir);
      else
        LastCreation = store::CreateDatabaseFiles(dataDir);
    }
    if (QCoreApplication::instance()) QCoreApplication::processEvents();

    const std::string folder = store::EnginePath(dataDir);
    struct {
      xbase::Table* table;
      const char* file;
      const char* tag;
      std::vector<xbase::FieldDef> fields;
    } const setup[] = {{&ApTable1, store::kRecordsTable, store::kRecordsTag, store::RecordsTableFields()},
                       {&ApTable2, store::kCatalogTable, store::kCatalogTag, store::CatalogTableFields()},
                       {&ApTable3, store::kRecordsTable, store::kRecordsTag, store::RecordsTableFields()}};
    for (const auto& s : setup) {
      s.table->SetDatabaseName(folder);
      s.table->SetTableName(s.file);
      s.table->SetIndexTag(s.tag);
      // A table with the right name but other fields (another program's)
      // is refused at open, before anything is written to it.
      s.table->SetRequiredFields(s.fields);
    }
    ApolloEnv1.SetErrorLevel(0);

    QStringList problems;
    IndexNotes = store::RepairIndexFiles(dataDir, ApolloEnv1, problems);
    if (onStatus)
      for (const QString& text : IndexNotes) onStatus(text);
    if (!problems.isEmpty()) error = problems.join(QLatin1Char('\n'));
  } catch (const std::exception& e) {
    error = store::FromUtf8(e.what());
  }
  if (!error.isEmpty() && onError) onError(error);
  return error;
}
