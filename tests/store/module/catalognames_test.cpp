// The catalog list the main window shows as tabs.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "catalognames.h"
#include "createdb.h"
#include "datafiles.h"

namespace {

TEST(CatalogListTest, EmptyTableGetsTemporaryAndALongOneIsCut) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const QString dir = tmp.path() + "/data";
  QDir().mkpath(dir);
  ASSERT_TRUE(store::CreateDatabaseFiles(dir).ok());
  auto open = [&](xbase::Table& t) {
    t.SetDatabaseName(store::EnginePath(dir));
    t.SetTableName(store::kCatalogTable);
    t.SetIndexTag(store::kCatalogTag);
    t.Open();
  };
  {
    xbase::Environment env;
    xbase::Table names(env);
    open(names);
    store::CatalogList list = store::LoadCatalogList(names, 40);
    EXPECT_TRUE(list.createdTemporary);
    EXPECT_EQ(list.names, QStringList{"Temporary"});
  }
  {
    // Stored for good: the next start finds it and adds nothing.
    xbase::Environment env;
    xbase::Table names(env);
    open(names);
    EXPECT_EQ(names.RecordCount(), 1);
    for (int i = 45; i > 0; --i) {
      names.Append();
      names.SetFieldByName(store::kFieldCatalog, QString("Cat %1").arg(i, 2, 10, QChar('0')).toStdString());
      names.Post();
    }
    store::CatalogList list = store::LoadCatalogList(names, 40);
    EXPECT_FALSE(list.createdTemporary);
    ASSERT_EQ(list.names.size(), 40);
    // In the order of the tag, not of entry.
    EXPECT_EQ(list.names.first(), "Cat 01");
    EXPECT_EQ(list.names.last(), "Cat 40");
    EXPECT_EQ(names.RecordCount(), 46);
  }
}

}  // namespace
