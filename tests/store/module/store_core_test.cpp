// The Qt-free store core on real files in a temporary folder: the
// first-run creation of the database files, the data folder, the catalog
// query, catalog names and the maintenance operations on the program's
// tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "catalogops.h"
#include "datatables.h"
#include "folder.h"
#include "records.h"
#include "schema.h"
#include "setup.h"
#include "test_files.h"
#include "text.h"

namespace {

namespace fs = std::filesystem;
using testfiles::MakeFolders;
using testfiles::ReadFile;
using testfiles::WriteFile;

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.Valid());
    dir_ = tmp_.Path() + "/data";
  }

  std::string Path(const char* file) const { return store::DataFilePathUtf8(dir_, file); }
  bool Exists(const char* file) const { return store::Exists(Path(file)); }

  void CreateAll() {
    ASSERT_TRUE(MakeFolders(dir_));
    ASSERT_TRUE(store::CreateDatabaseFilesUtf8(dir_).ok());
  }

  // Points the tables at the data folder as the program does at start-up
  // (not opening them); returns what went wrong, "" when nothing did.
  std::string Configure(store::DataTables& dm) {
    std::string error;
    try {
      std::vector<std::string> problems;
      store::ConfigureDataTables(dm, dir_, problems);
      for (const std::string& p : problems) error += (error.empty() ? "" : "\n") + p;
    } catch (const std::exception& e) {
      error = e.what();
    }
    return error;
  }

  static std::vector<std::string> Column(xbase::Table& t, const char* field) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field));
    return out;
  }

  testfiles::TempFolder tmp_;
  std::string dir_;
};

// --- first-run creation ----------------------------------------------------------

TEST_F(StoreTest, EmptyFolderGetsAllFourFilesWithTheirTags) {
  ASSERT_TRUE(MakeFolders(dir_));
  const store::CreationOutcome r = store::CreateDatabaseFilesUtf8(dir_);
  EXPECT_EQ(r.recordsTable, "Created");
  EXPECT_EQ(r.recordsIndex, "Created");
  EXPECT_EQ(r.catalogTable, "Created");
  EXPECT_EQ(r.catalogIndex, "Created");
  EXPECT_TRUE(r.failure.empty());
  EXPECT_TRUE(r.error.empty());
  EXPECT_TRUE(Exists(store::kRecordsMemo));

  store::DataTables dm;
  ASSERT_EQ(Configure(dm), "");
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
    store::DataTables dm;
    Configure(dm);
    testsupport::AddTitledRecords(dm, {{"Zeta", "b"}, {"Alpha", "z"}, {"Alpha", "Y"}, {"Mid", "a"}});
  }
  ASSERT_TRUE(fs::remove(Path(store::kCatalogIndex)));

  const store::CreationOutcome r = store::CreateDatabaseFilesUtf8(dir_);
  EXPECT_EQ(r.recordsTable, "");
  EXPECT_EQ(r.recordsIndex, "");
  EXPECT_EQ(r.catalogTable, "");
  EXPECT_EQ(r.catalogIndex, "Created");
  EXPECT_TRUE(r.ok());

  // The records index goes too: both tags come back in key order.
  ASSERT_TRUE(fs::remove(Path(store::kRecordsIndex)));
  EXPECT_EQ(store::CreateDatabaseFilesUtf8(dir_).recordsIndex, "Created");

  store::DataTables dm;
  Configure(dm);
  dm.ApTable1.Open();
  dm.ApTable2.Open();
  EXPECT_EQ(Column(dm.ApTable2, store::kFieldCatalog),
            (std::vector<std::string>{"Alpha", "Mid", "Zeta"}));
  EXPECT_EQ(Column(dm.ApTable1, store::kFieldTitle),
            (std::vector<std::string>{"Y", "z", "a", "b"}));
}

TEST_F(StoreTest, MissingDataFolderStopsAtTheFirstTable) {
  const store::CreationOutcome r = store::CreateDatabaseFilesUtf8(dir_);
  EXPECT_EQ(r.failure, "VTLDataA.dbf failed");
  EXPECT_EQ(r.recordsTable, "");
  EXPECT_EQ(r.recordsIndex, "");
  EXPECT_EQ(r.catalogTable, "");
  EXPECT_EQ(r.catalogIndex, "");
  EXPECT_TRUE(r.error.empty());
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(fs::exists(dir_));
}

TEST_F(StoreTest, EnsureDataFolderCreatesParentsAndRefusesAFile) {
  std::string error;
  EXPECT_TRUE(store::EnsureDataFolderUtf8(tmp_.Path() + "/a/b/data", &error));
  EXPECT_TRUE(store::IsFolder(tmp_.Path() + "/a/b/data"));
  const std::string file = tmp_.Path() + "/plain";
  ASSERT_TRUE(WriteFile(file, ""));
  EXPECT_FALSE(store::EnsureDataFolderUtf8(file, &error));
  EXPECT_NE(error.find("plain"), std::string::npos) << error;
  EXPECT_FALSE(store::EnsureDataFolderUtf8(file + "/data", &error));
}

// --- the catalog query and catalog names ---------------------------------------------

TEST_F(StoreTest, CatalogQuerySelectsExactlyTheNamedCatalog) {
  CreateAll();
  store::DataTables dm;
  Configure(dm);
  const std::string n19 = "abcdefghijklmnopqrs", n20 = n19 + "t";
  testsupport::AddTitledRecords(dm, {{"AB", "ab 1"}, {"AB  X", "abx"}, {"AB", "ab 2"}, {"Music", "m"},
                                     {"Music   2020", "m2020"}, {n19, "nineteen"}, {n20, "twenty"},
                                     {"Say \"hi\"", "quoted"}, {"Say \"hi\" 2", "quoted 2"}});
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
  store::DataTables dm;
  Configure(dm);
  testsupport::AddTitledRecords(dm, {{"Disk", "a"}, {"Disk", "b"}, {"Music", "m"}});
  xbase::Environment other;
  xbase::Table reader(other);
  reader.SetDatabaseName(dir_);
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
  ASSERT_TRUE(MakeFolders(dir_));
  // The right names, other types: FLSIZE numeric, FLDATE a date.
  std::vector<xbase::FieldDef> foreign = store::RecordsTableFields();
  foreign[3].type = 'N';
  foreign[4] = {store::kFieldDate, 'D', 8, 0};
  xbase::CreateTable(Path(store::kRecordsTable), foreign);
  const std::string bytes = ReadFile(Path(store::kRecordsTable));
  // Creating the missing files stops at the foreign table's index.
  const store::CreationOutcome r = store::CreateDatabaseFilesUtf8(dir_);
  EXPECT_TRUE(r.error.find("VTLDataA.dbf") != std::string::npos && r.error.find("FLSIZE") != std::string::npos)
      << r.error;

  store::DataTables dm;
  Configure(dm);
  for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable3}) {
    try {
      t->Open();
      ADD_FAILURE() << "a table of another layout opens";
    } catch (const xbase::Error& e) {
      EXPECT_EQ(e.code(), xbase::ErrorCode::Unsupported);
      // The file by its path, whichever separators (Windows takes both).
      const auto slashes = [](std::string p) {
        std::replace(p.begin(), p.end(), '\\', '/');
        return p;
      };
      EXPECT_NE(slashes(e.what()).find(slashes(Path(store::kRecordsTable))), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("field FLSIZE is of type N, 10 wide; it must be of type C, 10 wide"),
                std::string::npos)
          << e.what();
    }
  }
  EXPECT_EQ(ReadFile(Path(store::kRecordsTable)), bytes);
}

// --- maintenance ------------------------------------------------------------------------

TEST_F(StoreTest, PackReportsTheBytesSavedAndReopensShared) {
  CreateAll();
  store::DataTables dm;
  Configure(dm);
  testsupport::AddTitledRecords(dm, {{"C", "1"}, {"C", "2"}, {"C", "3"}});

  EXPECT_EQ(store::PackRecordsOf(dm), 0);

  dm.ApTable1.First();
  dm.ApTable1.Delete();
  const int64_t before = store::FileSize(Path(store::kRecordsTable));
  bool packingSeen = false;
  const int64_t saved = store::PackRecordsOf(dm, [&] {
    packingSeen = dm.Packing;
    EXPECT_TRUE(dm.ApTable3.Active());
  });
  EXPECT_TRUE(packingSeen);
  EXPECT_FALSE(dm.Packing);
  EXPECT_EQ(saved, before - store::FileSize(Path(store::kRecordsTable)));
  EXPECT_GT(saved, 0);
  EXPECT_TRUE(dm.ApTable1.Active());
  EXPECT_FALSE(dm.ApTable1.Exclusive());
  EXPECT_EQ(Column(dm.ApTable3, store::kFieldTitle), (std::vector<std::string>{"2", "3"}));
}

TEST_F(StoreTest, PackOrReindexThatCannotLockLeavesEveryCursorOpen) {
  CreateAll();
  store::DataTables dm;
  Configure(dm);
  testsupport::AddTitledRecords(dm, {{"C", "1"}, {"D", "2"}});
  dm.ApTable1.SetQuery(store::CatalogQueryUtf8("C"));
  // Another user of the file: a cursor in a second environment.
  xbase::Environment other;
  xbase::Table holder(other);
  holder.SetDatabaseName(dir_);
  holder.SetTableName(store::kRecordsTable);
  holder.SetReadOnly(true);
  holder.Open();

  for (bool pack : {true, false}) {
    SCOPED_TRACE(pack ? "pack" : "reindex");
    dm.ApTable3.Open();
    EXPECT_THROW(pack ? (void)store::PackRecordsOf(dm) : (void)store::ReindexTablesOf(dm), xbase::Error);
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
  store::DataTables dm;
  Configure(dm);
  testsupport::AddTitledRecords(dm, {{"B", "x"}, {"A", "y"}});
  int shown = 0;
  store::ReindexTablesOf(dm, [&] { ++shown; });
  EXPECT_EQ(shown, 1);
  for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable2, &dm.ApTable3}) {
    EXPECT_TRUE(t->Active());
    EXPECT_FALSE(t->Exclusive());
  }
  EXPECT_EQ(Column(dm.ApTable1, store::kFieldCatalog), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Column(dm.ApTable2, store::kFieldCatalog), (std::vector<std::string>{"A", "B"}));
}

}  // namespace
