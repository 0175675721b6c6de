// The data module, the first-run creation of the database files, the
// catalog query and the maintenance operations, on real files in a
// temporary folder.

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
#include "catalogops.h"
#include "createdb.h"
#include "datafiles.h"
#include "folder.h"
#include "datamodule.h"
#include "maintenance.h"
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

  // Adds records (catalog, title) and their catalogs through the module's
  // tables, opened shared as the program opens them.
  void AddRecords(TDataModule1& dm, const std::vector<std::pair<std::string, std::string>>& recs) {
    dm.ApTable1.Open();
    dm.ApTable2.Open();
    for (const auto& [catalog, title] : recs) {
      if (!dm.ApTable2.Locate(store::kFieldCatalog, catalog)) {
        dm.ApTable2.Append();
        dm.ApTable2.SetFieldByName(store::kFieldCatalog, catalog);
        dm.ApTable2.Post();
      }
      dm.ApTable1.Append();
      dm.ApTable1.SetFieldByName(store::kFieldCatalog, catalog);
      dm.ApTable1.SetFieldByName(store::kFieldTitle, title);
      dm.ApTable1.SetFieldByName(store::kFieldName, "/media/disk/" + title);
      dm.ApTable1.Post();
    }
  }

  static std::vector<std::string> Column(xbase::Table& t, const char* field) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field));
    return out;
  }

  QTemporaryDir tmp_;
  QString dir_;
};

// --- first-run creation ----------------------------------------------------------

TEST_F(StoreTest, EmptyFolderGetsAllFourFilesWithTheirTags) {
  ASSERT_TRUE(QDir().mkpath(dir_));
  const store::CreationResult r = store::CreateDatabaseFiles(dir_);
  EXPECT_EQ(r.recordsTable, "Created");
  EXPECT_EQ(r.recordsIndex, "Created");
  EXPECT_EQ(r.catalogTable, "Created");
  EXPECT_EQ(r.catalogIndex, "Created");
  EXPECT_TRUE(r.failure.isEmpty());
  EXPECT_TRUE(r.error.isEmpty());
  EXPECT_TRUE(Exists(store::kRecordsMemo));

  TDataModule1 dm;
  ASSERT_TRUE(dm.DataModule1Create(dir_).isEmpty());
  dm.ApTable1.Open();
  dm.ApTable2.Open();
  EXPECT_EQ(dm.ApTable1.RecordCount() + dm.ApTable2.RecordCount(), 0);

  std::vector<std::string> names;
  for (const xbase::FieldDef& f : dm.ApTable1.Fields())
    names.push_back(f.name + ":" + f.type + std::to_string(f.width));
  EXPECT_EQ(names, (std::vector<std::string>{"CATALOG:C20", "FLTITLE:C80", "FLNAME:C255",
                                             "FLSIZE:C10", "FLDATE:C21", "FLDESC:M10"}));

  const auto recordTags = dm.ApTable1.Tags();
  ASSERT_EQ(recordTags.size(), 1u);
  EXPECT_EQ(xbase::Utf8Upper(recordTags[0].name), "CATFLTL");  // tag names ignore case
  EXPECT_EQ(recordTags[0].key, "Catalog+upper(FLTitle)");
  EXPECT_EQ(recordTags[0].condition, ".not. DELETED()");
  EXPECT_FALSE(recordTags[0].unique);
  const auto catalogTags = dm.ApTable2.Tags();
  ASSERT_EQ(catalogTags.size(), 1u);
  EXPECT_EQ(xbase::Utf8Upper(catalogTags[0].name), "CTLG");
  EXPECT_EQ(catalogTags[0].key, "Catalog");
  EXPECT_TRUE(catalogTags[0].unique);
}

TEST_F(StoreTest, MissingIndexIsBuiltOverTheRecordsAlreadyThere) {
  CreateAll();
  {
    TDataModule1 dm;
    dm.DataModule1Create(dir_);
    AddRecords(dm, {{"Zeta", "b"}, {"Alpha", "z"}, {"Alpha", "Y"}, {"Mid", "a"}});
  }
  ASSERT_TRUE(QFile::remove(Path(store::kCatalogIndex)));

  const store::CreationResult r = store::CreateDatabaseFiles(dir_);
  EXPECT_EQ(r.recordsTable, "");
  EXPECT_EQ(r.recordsIndex, "");
  EXPECT_EQ(r.catalogTable, "");
  EXPECT_EQ(r.catalogIndex, "Created");
  EXPECT_TRUE(r.ok());

  // The records index goes too: both tags come back in key order.
  ASSERT_TRUE(QFile::remove(Path(store::kRecordsIndex)));
  EXPECT_EQ(store::CreateDatabaseFiles(dir_).recordsIndex, "Created");

  TDataModule1 dm;
  dm.DataModule1Create(dir_);
  dm.ApTable1.Open();
  dm.ApTable2.Open();
  EXPECT_EQ(Column(dm.ApTable2, store::kFieldCatalog),
            (std::vector<std::string>{"Alpha", "Mid", "Zeta"}));
  EXPECT_EQ(Column(dm.ApTable1, store::kFieldTitle),
            (std::vector<std::string>{"Y", "z", "a", "b"}));
}

TEST_F(StoreTest, MissingDataFolderStopsAtTheFirstTable) {
  const store::CreationResult r = store::CreateDatabaseFiles(dir_);
  EXPECT_EQ(r.failure, "VTLDataA.dbf failed");
  EXPECT_EQ(r.recordsTable, "");
  EXPECT_EQ(r.recordsIndex, "");
  EXPECT_EQ(r.catalogTable, "");
  EXPECT_EQ(r.catalogIndex, "");
  EXPECT_TRUE(r.error.isEmpty());
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(QFileInfo::exists(dir_));
}

TEST_F(StoreTest, EnsureDataFolderCreatesParentsAndRefusesAFile) {
  QString error;
  EXPECT_TRUE(store::EnsureDataFolder(tmp_.path() + "/a/b/data", &error));
  EXPECT_TRUE(QFileInfo(tmp_.path() + "/a/b/data").isDir());
  const QString file = tmp_.path() + "/plain";
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  EXPECT_FALSE(store::EnsureDataFolder(file, &error));
  EXPECT_TRUE(error.contains("plain")) << error.toStdString();
  EXPECT_FALSE(store::EnsureDataFolder(file + "/data", &error));
}

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

TEST_F(StoreTest, CatalogQuerySelectsExactlyTheNamedCatalog) {
  CreateAll();
  TDataModule1 dm;
  dm.DataModule1Create(dir_);
  const std::string n19 = "abcdefghijklmnopqrs", n20 = n19 + "t";
  AddRecords(dm, {{"AB", "ab 1"}, {"AB  X", "abx"}, {"AB", "ab 2"}, {"Music", "m"}, {"Music   2020", "m2020"},
                  {n19, "nineteen"}, {n20, "twenty"}, {"Say \"hi\"", "quoted"}, {"Say \"hi\" 2", "quoted 2"}});
  auto titles = [&](const std::string& catalog) {
    dm.ApTable1.SetQuery(store::CatalogQueryUtf8(catalog));
    std::vector<std::string> got = Column(dm.ApTable1, store::kFieldTitle);
    EXPECT_EQ(dm.ApTable1.QueryRecCount(), int64_t(got.size())) << catalog;
    return got;
  };
  EXPECT_EQ(titles("AB"), (std::vector<std::string>{"ab 1", "ab 2"}));
  EXPECT_EQ(titles("AB  X"), (std::vector<std::string>{"abx"}));
  EXPECT_EQ(titles("Music"), (std::vector<std::string>{"m"}));
  EXPECT_EQ(titles("Music   2020"), (std::vector<std::string>{"m2020"}));
  EXPECT_EQ(titles(n19), (std::vector<std::string>{"nineteen"}));
  EXPECT_EQ(titles(n20), (std::vector<std::string>{"twenty"}));
  EXPECT_EQ(titles("Say \"hi\""), (std::vector<std::string>{"quoted"}));
  EXPECT_EQ(titles("A"), (std::vector<std::string>{}));
}

// A rename beside another program that reads the catalog names: the new
// name is added, the records moved, the old name deleted last, and nothing
// needs the table to itself. A name is stored whole or refused: two names
// that differ past the field's 20 bytes never meet as one catalog.
TEST_F(StoreTest, CatalogRenameBesideAReaderAndNamesStoredWhole) {
  CreateAll();
  TDataModule1 dm;
  dm.DataModule1Create(dir_);
  AddRecords(dm, {{"Disk", "a"}, {"Disk", "b"}, {"Music", "m"}});
  xbase::Environment other;
  xbase::Table reader(other);
  reader.SetDatabaseName(EnginePath(dir_));
  reader.SetTableName(store::kCatalogTable);
  reader.SetReadOnly(true);
  reader.Open();
  auto names = [&] { return Column(dm.ApTable2, store::kFieldCatalog); };

  dm.ApTable1.SetQuery(store::CatalogQueryUtf8("Disk"));
  EXPECT_EQ(store::RenameCatalog(dm, "Disk", "Photos"), 2);
  EXPECT_EQ(names(), (std::vector<std::string>{"Music", "Photos"}));
  dm.ApTable1.SetQuery(store::CatalogQueryUtf8("Photos"));
  EXPECT_EQ(dm.ApTable1.QueryRecCount(), 2);

  // Too long for the field (36 and 21 bytes), or taken letter case aside:
  // refused, nothing written.
  const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE5\x86\x99\xE7\x9C\x9F";
  for (const std::string& name : {japanese + "\xE3\x82\xB3\xE3\x83\xAC\xE3\x82\xAF\xE3\x82\xB7\xE3\x83\xA7\xE3\x83\xB3",
                                  std::string("ABCDEFGHIJKLMNOPQRSTU"), std::string("MUSIC")})
    EXPECT_THROW(store::AddCatalogName(dm, name), xbase::Error) << name;
  store::AddCatalogName(dm, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_THROW(store::AddCatalogName(dm, "ABCDEFGHIJKLMNOPQRST"), xbase::Error);
  EXPECT_THROW(store::RenameCatalog(dm, "Photos", "ABCDEFGHIJKLMNOPQRSTUV"), xbase::Error)
      << "cut, it would join the catalog ABCDEFGHIJKLMNOPQRST";
  store::AddCatalogName(dm, japanese);  // 18 bytes: whole
  EXPECT_EQ(names(), (std::vector<std::string>{"ABCDEFGHIJKLMNOPQRST", "Music", "Photos", japanese}));
  EXPECT_EQ(dm.ApTable1.QueryRecCount(), 2);

  // Onto an existing name: one catalog of both, one name left.
  EXPECT_EQ(store::RenameCatalog(dm, "Photos", "Music"), 2);
  EXPECT_EQ(names(), (std::vector<std::string>{"ABCDEFGHIJKLMNOPQRST", "Music", japanese}));
  dm.ApTable1.SetQuery(store::CatalogQueryUtf8("Music"));
  EXPECT_EQ(dm.ApTable1.QueryRecCount(), 3);
  store::DeleteCatalogName(dm, "ABCDEFGHIJKLMNOPQRST");  // no pack: the reader does not stand in the way
  EXPECT_EQ(names(), (std::vector<std::string>{"Music", japanese}));
}

TEST_F(StoreTest, TableOfAnotherLayoutIsRefusedAtOpenNamingFileAndField) {
  ASSERT_TRUE(QDir().mkpath(dir_));
  // The right names, other types: FLSIZE numeric, FLDATE a date.
  std::vector<xbase::FieldDef> foreign = store::RecordsTableFields();
  foreign[3].type = 'N';
  foreign[4] = {store::kFieldDate, 'D', 8, 0};
  xbase::CreateTable(EnginePath(Path(store::kRecordsTable)), foreign);
  const QByteArray bytes = [&] {
    QFile f(Path(store::kRecordsTable));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  // Creating the missing files stops at the foreign table's index.
  const store::CreationResult r = store::CreateDatabaseFiles(dir_);
  EXPECT_TRUE(r.error.contains("VTLDataA.dbf") && r.error.contains("FLSIZE")) << r.error.toStdString();

  TDataModule1 dm;
  dm.DataModule1Create(dir_, [](const QString&) {});
  for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable3}) {
    try {
      t->Open();
      ADD_FAILURE() << "a table of another layout opens";
    } catch (const xbase::Error& e) {
      EXPECT_EQ(e.code(), xbase::ErrorCode::Unsupported);
      EXPECT_NE(std::string(e.what()).find(EnginePath(Path(store::kRecordsTable))), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("field FLSIZE is of type N, 10 wide; it must be of type C, 10 wide"),
                std::string::npos)
          << e.what();
    }
  }
  QFile f(Path(store::kRecordsTable));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), bytes);
}

// --- maintenance ------------------------------------------------------------------------

TEST_F(StoreTest, PackReportsTheBytesSavedAndReopensShared) {
  CreateAll();
  TDataModule1 dm;
  dm.DataModule1Create(dir_);
  AddRecords(dm, {{"C", "1"}, {"C", "2"}, {"C", "3"}});

  EXPECT_EQ(store::PackRecords(dm), 0);

  dm.ApTable1.First();
  dm.ApTable1.Delete();
  const qint64 before = QFileInfo(Path(store::kRecordsTable)).size();
  bool packingSeen = false;
  const qint64 saved = store::PackRecords(dm, [&] {
    packingSeen = dm.Packing;
    EXPECT_TRUE(dm.ApTable3.Active());
  });
  EXPECT_TRUE(packingSeen);
  EXPECT_FALSE(dm.Packing);
  EXPECT_EQ(saved, before - QFileInfo(Path(store::kRecordsTable)).size());
  EXPECT_GT(saved, 0);
  EXPECT_TRUE(dm.ApTable1.Active());
  EXPECT_FALSE(dm.ApTable1.Exclusive());
  EXPECT_EQ(Column(dm.ApTable3, store::kFieldTitle), (std::vector<std::string>{"2", "3"}));
}

TEST_F(StoreTest, PackOrReindexThatCannotLockLeavesEveryCursorOpen) {
  CreateAll();
  TDataModule1 dm;
  dm.DataModule1Create(dir_);
  AddRecords(dm, {{"C", "1"}, {"D", "2"}});
  dm.ApTable1.SetQuery(store::CatalogQueryUtf8("C"));
  // Another user of the file: a cursor in a second environment.
  xbase::Environment other;
  xbase::Table holder(other);
  holder.SetDatabaseName(EnginePath(dir_));
  holder.SetTableName(store::kRecordsTable);
  holder.SetReadOnly(true);
  holder.Open();

  for (bool pack : {true, false}) {
    SCOPED_TRACE(pack ? "pack" : "reindex");
    dm.ApTable3.Open();
    EXPECT_THROW(pack ? (void)store::PackRecords(dm) : (void)store::ReindexTables(dm), xbase::Error);
    EXPECT_FALSE(dm.Packing);
    for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable2, &dm.ApTable3}) {
      EXPECT_TRUE(t->Active());
      EXPECT_FALSE(t->Exclusive());
    }
    EXPECT_EQ(dm.ApTable1.RecordCount(), 1);  // the catalog query stays
    EXPECT_EQ(dm.ApTable3.RecordCount(), 2);
  }
}

TEST_F(StoreTest, ReindexKeepsRecordsAndLeavesAllCursorsOpen) {
  CreateAll();
  TDataModule1 dm;
  dm.DataModule1Create(dir_);
  AddRecords(dm, {{"B", "x"}, {"A", "y"}});
  int shown = 0;
  store::ReindexTables(dm, [&] { ++shown; });
  EXPECT_EQ(shown, 1);
  for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable2, &dm.ApTable3}) {
    EXPECT_TRUE(t->Active());
    EXPECT_FALSE(t->Exclusive());
  }
  EXPECT_EQ(Column(dm.ApTable1, store::kFieldCatalog), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Column(dm.ApTable2, store::kFieldCatalog), (std::vector<std::string>{"A", "B"}));
}

TEST_F(StoreTest, IndexFileThatCannotServeItsTableIsRecreatedFromTheStoresTags) {
  CreateAll();
  {
    TDataModule1 dm;
    dm.DataModule1Create(dir_);
    AddRecords(dm, {{"B", "x"}, {"A", "z"}, {"A", "Y"}});
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
