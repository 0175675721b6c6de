// The data module (start-up, its data sources, the index notes it keeps
// for the window), the default data folder and the QString forms of the
// store, on real files in a temporary folder. What the Qt-free core does
// alone is tested in store_core_test.cpp.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "catalog.h"
#include "createdb.h"
#include "datafiles.h"
#include "folder.h"
#include "datamodule.h"
#include "maintenance.h"
#include "records.h"
#include "text.h"

namespace {

using store::EnginePath;

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    dir_ = tmp_.path() + "/data";
  }

  QString Path(const char* file) const { return store::DataFilePath(dir_, file); }
  bool Exists(const char* file) const { return QFileInfo::exists(Path(file)); }

  void CreateAll() {
    ASSERT_TRUE(QDir().mkpath(dir_));
    ASSERT_TRUE(store::CreateDatabaseFiles(dir_).ok());
  }

  static std::vector<std::string> Column(xbase::Table& t, const char* field) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field));
    return out;
  }

  QTemporaryDir tmp_;
  QString dir_;
};

// --- the data folder -------------------------------------------------------------

// The catalogue lives in the user's data folder unless a "portable" file
// beside the program asks otherwise; one left beside the program by an
// earlier version is found, and moves without losing a file.
TEST_F(StoreTest, DataFolderIsTheUsersUnlessPortableAndAnOldOneMoves) {
  const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/data";
  EXPECT_EQ(store::DefaultDataFolder(tmp_.path()), userData) << "a writable program folder is no reason";
  const std::string exeDir = store::ToUtf8(tmp_.path());
  EXPECT_EQ(store::LegacyDataFolderUtf8(exeDir), "");
  ASSERT_TRUE(QDir().mkpath(tmp_.path() + "/data"));
  ASSERT_TRUE(store::CreateDatabaseFiles(tmp_.path() + "/data").ok());
  EXPECT_EQ(store::LegacyDataFolderUtf8(exeDir), exeDir + "/data");

  const std::string target = exeDir + "/home/Brannock/Vantrell/data";
  std::string error;
  ASSERT_TRUE(store::MoveDataFolderUtf8(exeDir + "/data", target, &error)) << error;
  EXPECT_TRUE(store::MissingDatabaseFilesUtf8(target).empty());
  EXPECT_EQ(store::LegacyDataFolderUtf8(exeDir), "");
  // Never over another catalogue.
  ASSERT_TRUE(QDir().mkpath(tmp_.path() + "/data"));
  ASSERT_TRUE(store::CreateDatabaseFiles(tmp_.path() + "/data").ok());
  EXPECT_FALSE(store::MoveDataFolderUtf8(exeDir + "/data", target, &error));
  EXPECT_TRUE(store::MissingDatabaseFilesUtf8(exeDir + "/data").empty()) << "the old one stays whole";

  QFile marker(tmp_.path() + "/portable");
  ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  marker.close();
  EXPECT_EQ(store::DefaultDataFolder(tmp_.path()), QDir::cleanPath(tmp_.path()) + "/data");
  EXPECT_EQ(store::LegacyDataFolderUtf8(exeDir), "") << "a portable catalogue is where it belongs";
}

// --- start-up --------------------------------------------------------------------------

TEST_F(StoreTest, StartUpCallsTheHookOnlyWhenAFileIsMissing) {
  ASSERT_TRUE(QDir().mkpath(dir_));
  TDataModule1 dm;
  dm.Packing = true;
  QStringList calls;
  auto hook = [&](const QString& d) {
    calls << d;
    store::CreateDatabaseFiles(d);
  };
  EXPECT_TRUE(dm.DataModule1Create(dir_, hook).isEmpty());
  EXPECT_EQ(calls, QStringList{dir_});
  EXPECT_FALSE(dm.Packing);
  EXPECT_EQ(dm.ApolloEnv1.ErrorLevel(), 0);
  EXPECT_TRUE(dm.ApolloEnv1.Deleted());
  EXPECT_FALSE(dm.DataSource3.AutoEdit);

  // Configured, not opened.
  for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable2, &dm.ApTable3}) {
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(t->DatabaseName(), EnginePath(dir_));
  }
  EXPECT_EQ(dm.ApTable1.TableName(), "VTLDataA.dbf");
  EXPECT_EQ(dm.ApTable1.IndexTag(), "CatFlTl");
  EXPECT_EQ(dm.ApTable2.TableName(), "VTLCa.dbf");
  EXPECT_EQ(dm.ApTable2.IndexTag(), "CtLg");
  EXPECT_EQ(dm.ApTable3.TableName(), "VTLDataA.dbf");
  EXPECT_EQ(dm.ApTable3.IndexTag(), "CatFlTl");

  EXPECT_TRUE(dm.DataModule1Create(dir_, hook).isEmpty());
  EXPECT_EQ(calls.size(), 1);  // all files there now
  EXPECT_FALSE(dm.LastCreation.has_value());

  // Without a hook the module creates what is missing itself.
  ASSERT_TRUE(QFile::remove(Path(store::kCatalogIndex)));
  EXPECT_TRUE(dm.DataModule1Create(dir_).isEmpty());
  ASSERT_TRUE(dm.LastCreation.has_value());
  EXPECT_EQ(dm.LastCreation->catalogIndex, "Created");
}

TEST_F(StoreTest, StartUpPassesAnErrorToTheErrorHook) {
  ASSERT_TRUE(QDir().mkpath(dir_));
  TDataModule1 dm;
  QString reported;
  const QString error = dm.DataModule1Create(
      dir_, [](const QString&) { throw xbase::Error(xbase::ErrorCode::Io, "disk on fire"); },
      [&](const QString& m) { reported = m; });
  EXPECT_EQ(error, "disk on fire");
  EXPECT_EQ(reported, "disk on fire");
}

TEST_F(StoreTest, DataSourcesForwardTheTableNotifications) {
  CreateAll();
  TDataModule1 dm;
  dm.DataModule1Create(dir_);
  int states = 0;
  QStringList fields;
  QObject::connect(&dm.DataSource1, &TDataSource::StateChange, [&] { ++states; });
  QObject::connect(&dm.DataSource1, &TDataSource::DataChange,
                   [&](const QString& f) { fields << f; });
  dm.ApTable1.Open();
  EXPECT_GE(states, 1);
  dm.ApTable1.Append();
  dm.ApTable1.SetFieldByName(store::kFieldTitle, "x");
  EXPECT_TRUE(fields.contains("FLTITLE", Qt::CaseInsensitive)) << fields.join(',').toStdString();

  dm.DataSource1.Enabled = false;
  const int statesBefore = states;
  dm.ApTable1.Post();
  EXPECT_EQ(states, statesBefore);
}

// --- the catalog query ----------------------------------------------------------------

TEST(CatalogQueryTest, NamesArePaddedToTheFieldWidth) {
  EXPECT_EQ(store::CatalogQuery(QString("Temporary")), "Catalog = \"Temporary           \"");
  EXPECT_EQ(store::CatalogQuery(QString("It's")), "Catalog = \"It's                \"");
  EXPECT_EQ(store::StoredCatalogName("  padded   "), "  padded");
  // 21 bytes of two-byte letters cut to 20 without splitting one.
  EXPECT_EQ(store::StoredCatalogName("x\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"
                                     "\xC3\xA4\xC3\xA4\xC3\xA4"),
            "x\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4");
}

// --- maintenance ------------------------------------------------------------------------

TEST_F(StoreTest, IndexFileThatCannotServeItsTableIsRecreatedFromTheStoresTags) {
  CreateAll();
  {
    TDataModule1 dm;
    dm.DataModule1Create(dir_);
    testsupport::AddTitledRecords(dm, {{"B", "x"}, {"A", "z"}, {"A", "Y"}});
  }
  auto bytes = [&](const char* file) {
    QFile f(Path(file));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  auto put = [&](const char* file, const QByteArray& b) {
    QFile f(Path(file));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(b);
  };

  // At start-up: the catalog names' index where the records' should be.
  put(store::kRecordsIndex, bytes(store::kCatalogIndex));
  {
    TDataModule1 dm;
    QStringList shown;
    EXPECT_TRUE(dm.DataModule1Create(dir_, {}, {}, [&](const QString& t) { shown << t; }).isEmpty());
    EXPECT_EQ(shown, QStringList{"Index file VTLDataA.nsx was rebuilt."});
    EXPECT_EQ(dm.IndexNotes, shown);
    dm.ApTable1.Open();
    EXPECT_EQ(Column(dm.ApTable1, store::kFieldTitle), (std::vector<std::string>{"Y", "z", "x"}));

    // At reindex, with the tables in use: a file that is no index at all.
    dm.ApTable2.Open();
    dm.ApTable3.Open();
    put(store::kCatalogIndex, "notes\n");
    EXPECT_EQ(store::ReindexTables(dm), QStringList{"Index file VTLCa.nsx was rebuilt."});
    EXPECT_EQ(Column(dm.ApTable2, store::kFieldCatalog), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(dm.ApTable3.Active());
  }

  // A newer format is refused with its name, and left as it is.
  QByteArray newer = bytes(store::kRecordsIndex);
  newer[4] = 9;
  const uint32_t crc = xbase::Crc32(newer.constData(), 508);
  for (int i = 0; i < 4; ++i) newer[508 + i] = char(crc >> (8 * i));
  put(store::kRecordsIndex, newer);
  TDataModule1 dm;
  const QString error = dm.DataModule1Create(dir_);
  EXPECT_TRUE(error.contains("VTLDataA.nsx") && error.contains("newer")) << error.toStdString();
  EXPECT_THROW(store::ReindexTables(dm), xbase::Error);
  EXPECT_EQ(bytes(store::kRecordsIndex), newer);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName("Vantrell");
  QCoreApplication::setOrganizationName("Brannock");
  QStandardPaths::setTestModeEnabled(true);
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
