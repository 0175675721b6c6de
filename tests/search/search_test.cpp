// The search as the search window's controller runs it, with no window and
// no application object: the logic of the window lives outside it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <vector>

#include "createdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "schema.h"
#include "searchcontroller.h"
#include "tablesearch.h"

namespace {

using search::Field;

// Every catalog searched by path or by title, letters of either case
// alike; a second search replacing the first; the empty text finding
// nothing; a row naming its catalog and its very record; the end closing
// the cursor; a table that cannot be opened bringing its message and
// leaving the hits shown.
TEST(SearchController, SearchesEveryCatalogWithoutAWindow) {
  QTemporaryDir dir;
  const QString data = dir.path() + "/data";
  ASSERT_TRUE(QDir().mkpath(data));
  ASSERT_TRUE(store::CreateDatabaseFiles(data).ok());
  TDataModule1 dm;
  ASSERT_EQ(dm.DataModule1Create(data), "");
  xbase::Table& t = dm.ApTable1;
  t.Open();
  std::vector<uint32_t> recnos;
  for (const auto& [catalog, title, path] : std::vector<std::array<const char*, 3>>{
           {"A", "report", "/data/a/1.txt"},
           {"A", "report", "/data/a/2.txt"},
           {"B", "MY REPORT", "/data/b/3.txt"},
           {"C", "notes", "/c/DATA/4.txt"},
           {"C", "other", "/c/5.txt"}}) {
    t.Append();
    t.SetFieldByName("Catalog", catalog);
    t.SetFieldByName("FLTITLE", title);
    t.SetFieldByName("FLNAME", path);
    t.Post();
    recnos.push_back(t.RecNo());
  }

  search::TableSearch service(dm.ApTable3);
  search::SearchController controller(service);
  TSearchResults& rows = controller.Results();
  EXPECT_EQ(controller.CountText(), "");
  EXPECT_EQ(rows.rowCount(), 10) << "the empty grid of a window just opened";

  ASSERT_TRUE(controller.Search("data", Field::Path, {}).ran);
  EXPECT_EQ(controller.CountText(), "4");
  EXPECT_EQ(rows.Text(2, 3), "/data/b/3.txt");
  EXPECT_EQ(rows.Text(3, 1), "C");
  ASSERT_TRUE(controller.Search("REPORT", Field::Title, {}).ran);
  EXPECT_EQ(controller.CountText(), "3");
  EXPECT_EQ(rows.rowCount(), 3) << "nothing of the search before stays";
  const search::HitRecord second = controller.RecordOfRow(1);
  EXPECT_EQ(second.catalog, "A");
  EXPECT_EQ(second.recno, recnos[1]) << "that very record, not the first of its title";
  ASSERT_TRUE(controller.Search("", Field::Title, {}).ran);
  EXPECT_EQ(controller.CountText(), "0");
  EXPECT_EQ(rows.rowCount(), 1);

  ASSERT_TRUE(controller.Search("notes", Field::Title, {}).ran);
  controller.End();
  EXPECT_FALSE(dm.ApTable3.Active()) << "the search's cursor closes with it";
  EXPECT_EQ(rows.rowCount(), 10);

  ASSERT_TRUE(controller.Search("other", Field::Title, {}).ran);
  controller.End();
  const QString table = data + "/" + store::kRecordsTable;
  ASSERT_TRUE(QFile::rename(table, table + ".away"));
  const search::SearchRun failed = controller.Search("report", Field::Title, {});
  EXPECT_FALSE(failed.ran);
  EXPECT_TRUE(failed.error.contains(store::kRecordsTable, Qt::CaseInsensitive)) << failed.error.toStdString();
  EXPECT_EQ(controller.CountText(), "1") << "the count of the search before stays";
  ASSERT_TRUE(QFile::rename(table + ".away", table));
}

}  // namespace
