// Pack and reindex: what is left on disk afterwards, and that both need the
// table to themselves.
#include <algorithm>
#include <filesystem>

#include "xbase_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace xbtest;
using xbase::ErrorCode;
using Strings = std::vector<std::string>;

class MaintenanceTest : public XbaseTest {
 protected:
  static constexpr int kRecLen = 397;
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
  }
  uintmax_t MemoSize() const { return fs::file_size(xbase::MemoPathFor(RecordsPath())); }
  // Header facts of the table on disk agree with its size.
  void ExpectConsistentTable(uint32_t records) const {
    const std::string b = ReadFileBytes(RecordsPath());
    EXPECT_EQ(Le32(b, 4), records);
    EXPECT_EQ(b.size(), Le16(b, 8) + static_cast<size_t>(records) * kRecLen + 1);
    EXPECT_EQ(b.back(), '\x1A');
    const auto problems = xbase::CheckTable(RecordsPath());
    EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
  }
};

TEST_F(MaintenanceTest, PackRemovesDeletedRecordsAndKeepsTheRest) {
  const std::string big = LongText(100000);
  AddRecords({{"A", "keep c", "/c", "", "", "memo of c"},
              {"A", "gone 1", "/g1", "", "", big},
              {"B", "keep a", "/a", "", "", "memo of a\nsecond line"},
              {"A", "gone 2", "/g2", "", "", big + "2"},
              {"A", "Keep b", "/b", "", "", ""},
              {"C", "keep long", "/l", "", "", big + "kept"}});
  {
    auto t = OpenRecords();
    ASSERT_TRUE(t->Locate("FLTITLE", "gone", {.partialKey = true}));
    t->Delete();
    ASSERT_TRUE(t->Locate("FLTITLE", "gone", {.partialKey = true}));
    t->Delete();
  }
  const uintmax_t memoBefore = MemoSize();

  auto t = OpenRecords("CatFlTl", true);
  t->Pack();
  EXPECT_TRUE(t->Active());
  EXPECT_EQ(t->RecordCount(), 4);
  EXPECT_EQ(Keys(*t), (Strings{"A/Keep b", "A/keep c", "B/keep a", "C/keep long"}));
  EXPECT_EQ(Column(*t, "FLDESC"), (Strings{"", "memo of c", "memo of a\nsecond line", big + "kept"}));
  t->Close();

  // Gone for good: not even visible with Deleted off.
  env_.SetDeleted(false);
  auto n = OpenRecords("");
  EXPECT_EQ(Column(*n, "FLTITLE"), (Strings{"keep c", "keep a", "Keep b", "keep long"}));
  n->Close();
  ExpectConsistentTable(4);
  EXPECT_LT(MemoSize(), memoBefore - 150000) << "the two big memos were dropped";
  EXPECT_GE(MemoSize(), 512u + big.size());
}

// A pack takes the new index's entries from the old index's leaves; one
// that cannot be read there (a damaged page) does not stop the pack: the
// keys are then taken from the records.
TEST_F(MaintenanceTest, PackOverADamagedIndexPageTakesTheKeysFromTheRecords) {
  std::vector<Rec> recs;
  for (int i = 0; i < 3000; ++i) recs.push_back({i % 2 ? "A" : "B", "t" + std::to_string(10000 + i), "/p", "", "", ""});
  AddRecords(recs);
  {
    auto t = OpenRecords();
    ASSERT_TRUE(t->Locate("FLTITLE", "t10010"));
    t->Delete();
  }
  const std::string index = xbase::IndexPathFor(RecordsPath());
  std::string b = ReadFileBytes(index);
  ASSERT_GT(b.size(), 8u * 4096);
  b[(b.size() / 4096 / 2) * 4096 + 2000] ^= 0x55;
  WriteFileBytes(index, b);

  auto t = OpenRecords("CatFlTl", true);
  t->Pack();
  EXPECT_EQ(t->RecordCount(), 2999);
  const Strings keys = Keys(*t);
  EXPECT_EQ(keys.size(), 2999u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  t->Close();
  ExpectConsistentTable(2999);
}

TEST_F(MaintenanceTest, TableWorksOnAfterPack) {
  AddRecords({{"A", "one", "", "", "", "memo one"},
              {"A", "two", "", "", "", "memo two"},
              {"A", "three", "", "", "", "memo three"}});
  auto t = OpenRecords("CatFlTl", true);
  ASSERT_TRUE(t->Locate("FLTITLE", "one"));
  t->Delete();
  t->Pack();
  // New records and memos after a pack do not overwrite the kept ones.
  Add(*t, {"A", "four", "", "", "", LongText(3000)});
  ASSERT_TRUE(t->Locate("FLTITLE", "two"));
  t->Edit();
  t->SetFieldByName("FLDESC", "memo two, longer now " + LongText(700));
  t->Post();
  t->Close();

  auto r = OpenRecords();
  EXPECT_EQ(Column(*r, "FLTITLE"), (Strings{"four", "three", "two"}));
  EXPECT_EQ(Column(*r, "FLDESC"),
            (Strings{LongText(3000), "memo three", "memo two, longer now " + LongText(700)}));
  r->Close();
  ExpectConsistentTable(3);
}

TEST_F(MaintenanceTest, PackOfAnEmptyAndOfACleanTable) {
  {
    auto t = OpenRecords("CatFlTl", true);
    t->Pack();
    EXPECT_TRUE(t->IsEmpty());
  }
  ExpectConsistentTable(0);
  AddRecords({{"A", "b", "", "", "", "x"}, {"A", "a", "", "", "", "y"}});
  {
    auto t = OpenRecords("CatFlTl", true);
    t->Pack();
    EXPECT_EQ(Column(*t, "FLDESC"), (Strings{"y", "x"}));
  }
  ExpectConsistentTable(2);
  // Deleting everything and packing leaves an empty, sound table.
  {
    auto t = OpenRecords("CatFlTl", true);
    t->First();
    t->Delete();
    t->Delete();
    EXPECT_TRUE(t->IsEmpty());
    t->Pack();
    EXPECT_TRUE(t->IsEmpty());
  }
  ExpectConsistentTable(0);
}

TEST_F(MaintenanceTest, PackOfTheCatalogNamesTable) {
  MakeCatalogTable();
  {
    auto c = OpenCatalogs();
    AddCatalog(*c, "Zeta");
    AddCatalog(*c, "Alpha");
    AddCatalog(*c, "Mid");
    ASSERT_TRUE(c->Locate("Catalog", "Mid"));
    c->Delete();
  }
  auto c = OpenCatalogs("CtLg", true);
  c->Pack();
  EXPECT_EQ(Column(*c, "Catalog"), (Strings{"Alpha", "Zeta"}));
  c->Close();
  EXPECT_EQ(Le32(ReadFileBytes(CatalogsPath()), 4), 2u);
  EXPECT_TRUE(xbase::CheckTable(CatalogsPath()).empty());
}

TEST_F(MaintenanceTest, ReindexKeepsTheOrder) {
  AddRecords({{"B", "x", "", "", "", ""}, {"A", "b", "", "", "", ""}, {"A", "A", "", "", "", ""},
              {"A", "c", "", "", "", ""}});
  {
    auto t = OpenRecords();
    ASSERT_TRUE(t->Locate("FLTITLE", "c"));
    t->Delete();
  }
  auto t = OpenRecords("CatFlTl", true);
  const Strings before = Keys(*t);
  t->IndexOpen(xbase::IndexPathFor(RecordsPath()));
  t->Reindex();
  EXPECT_EQ(Keys(*t), before);
  EXPECT_EQ(before, (Strings{"A/A", "A/b", "B/x"}));
  t->Close();
  auto r = OpenRecords();
  EXPECT_EQ(Keys(*r), before);
  r->Close();
  ExpectConsistentTable(4);
}

TEST_F(MaintenanceTest, PackReindexAndIndexOpenNeedExclusiveUse) {
  AddRecords({{"A", "a", "", "", "", ""}, {"A", "b", "", "", "", ""}});
  auto t = OpenRecords();
  t->First();
  t->Delete();
  const std::string before = ReadFileBytes(RecordsPath());
  const std::vector<std::pair<std::string, std::function<void()>>> ops = {
      {"Pack", [&] { t->Pack(); }},
      {"Reindex", [&] { t->Reindex(); }},
      {"IndexOpen", [&] { t->IndexOpen(xbase::IndexPathFor(RecordsPath())); }}};
  for (const auto& [name, op] : ops) {
    SCOPED_TRACE(name);
    xbase::Error e = CatchError(op);
    EXPECT_TRUE(e.code() == ErrorCode::Usage || e.code() == ErrorCode::Locked) << e.what();
  }
  EXPECT_EQ(ReadFileBytes(RecordsPath()), before) << "a refused pack changes nothing";
  EXPECT_EQ(t->RecordCount(), 1);
  // Closed, the same operations are refused too.
  t->Close();
  EXPECT_EQ(CatchError([&] { t->Pack(); }).code(), ErrorCode::Usage);
}

TEST_F(MaintenanceTest, PackWhileEditingPostsFirstOrRefuses) {
  AddRecords({{"A", "a", "", "", "", ""}});
  auto t = OpenRecords("CatFlTl", true);
  t->First();
  t->Edit();
  t->SetFieldByName("FLSIZE", "5");
  try {
    t->Pack();
  } catch (const xbase::Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::Usage) << e.what();
    t->Post();
  }
  t->Close();
  auto r = OpenRecords();
  r->First();
  EXPECT_EQ(r->FieldByName("FLSIZE"), "5") << "the edit is not lost either way";
}

}  // namespace
