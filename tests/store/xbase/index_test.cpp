// Index tags: order, unique keys, conditions, more than one tag kept up to
// date, and an index file that no longer matches its table, is not ours, is
// newer or damaged.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "keysort.h"
#include "text.h"
#include "xbase_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace xbtest;
using xbase::ErrorCode;
using Strings = std::vector<std::string>;

class IndexTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
  }
  static bool SameName(const std::string& a, const std::string& b) {
    return xbase::Utf8Upper(a) == xbase::Utf8Upper(b);
  }
  static const xbase::TagInfo* FindTag(const std::vector<xbase::TagInfo>& tags,
                                       const std::string& name) {
    for (const auto& t : tags)
      if (SameName(t.name, name)) return &t;
    return nullptr;
  }
};

TEST_F(IndexTest, TagsOfTheProgramsTables) {
  MakeCatalogTable();
  auto r = OpenRecords();
  auto tags = r->Tags();
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_TRUE(SameName(tags[0].name, "CatFlTl"));
  EXPECT_EQ(tags[0].key, "Catalog+upper(FLTitle)");
  EXPECT_EQ(tags[0].condition, ".not. DELETED()");
  EXPECT_FALSE(tags[0].unique);
  EXPECT_EQ(tags[0].keyWidth, 100);
  EXPECT_TRUE(SameName(r->IndexTag(), "CatFlTl"));

  auto c = OpenCatalogs();
  tags = c->Tags();
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_TRUE(SameName(tags[0].name, "CtLg"));
  EXPECT_EQ(tags[0].key, "Catalog");
  EXPECT_TRUE(tags[0].unique);
  EXPECT_EQ(tags[0].keyWidth, 20);
  EXPECT_TRUE(fs::exists(xbase::IndexPathFor(CatalogsPath())));
}

TEST_F(IndexTest, UniqueTagShowsEachKeyOnce) {
  MakeCatalogTable();
  auto c = OpenCatalogs();
  AddCatalog(*c, "Temporary");
  AddCatalog(*c, "Disk1");
  AddCatalog(*c, "Alpha");
  AddCatalog(*c, "Disk1");
  EXPECT_EQ(c->RecordCount(), 3);
  EXPECT_EQ(Column(*c, "Catalog"), (Strings{"Alpha", "Disk1", "Temporary"}));
  // Natural order shows every record.
  auto all = OpenCatalogs("");
  EXPECT_EQ(all->RecordCount(), 4);

  // Deleting the record shown for a duplicated key brings the other one.
  ASSERT_TRUE(c->Locate("Catalog", "Disk1"));
  const uint32_t shown = c->RecNo();
  c->Delete();
  EXPECT_EQ(c->RecordCount(), 3);
  EXPECT_EQ(Column(*c, "Catalog"), (Strings{"Alpha", "Disk1", "Temporary"}));
  ASSERT_TRUE(c->Locate("Catalog", "Disk1"));
  EXPECT_NE(c->RecNo(), shown);
  // Deleting that one too removes the key.
  c->Delete();
  EXPECT_EQ(Column(*c, "Catalog"), (Strings{"Alpha", "Temporary"}));
  c->Close();
  // The same after a re-open (the index on disk agrees).
  c->Open();
  EXPECT_EQ(Column(*c, "Catalog"), (Strings{"Alpha", "Temporary"}));
}

TEST_F(IndexTest, UniqueTagAfterRenamingTheShownRecord) {
  MakeCatalogTable();
  auto c = OpenCatalogs();
  AddCatalog(*c, "Same");
  AddCatalog(*c, "Same");
  ASSERT_EQ(c->RecordCount(), 1);
  c->First();
  c->Edit();
  c->SetFieldByName("Catalog", "Other");
  c->Post();
  EXPECT_EQ(Column(*c, "Catalog"), (Strings{"Other", "Same"}));
}

TEST_F(IndexTest, ConditionLeavesRecordsOut) {
  AddRecords({{"A", "one", "", "", "", ""}, {"A", "two", "", "", "", ""}, {"A", "three", "", "", "", ""}});
  {
    auto t = OpenRecords();
    ASSERT_TRUE(t->Locate("FLTITLE", "two"));
    t->Delete();
  }
  // The tag's ".not. DELETED()" keeps the deleted record out even when the
  // environment shows deleted records.
  env_.SetDeleted(false);
  auto t = OpenRecords();
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"one", "three"}));
  EXPECT_EQ(t->RecordCount(), 2);
  auto n = OpenRecords("");
  EXPECT_EQ(n->RecordCount(), 3);
}

TEST_F(IndexTest, MoreTagsAreKeptUpToDate) {
  AddRecords({{"A", "one", "/z/1", "", "", ""}, {"B", "two", "/y/2", "", "", ""}});
  {
    auto x = OpenRecords("", true);
    const int byName = x->IndexTag(xbase::IndexPathFor(RecordsPath()), "ByName",
                                   "upper(FLNAME)", "", false);
    const int keep = x->IndexTag(xbase::IndexPathFor(RecordsPath()), "KeepB", "FLTITLE",
                                 "Catalog = \"B  \" .and. .not. DELETED()", false);
    EXPECT_GE(byName, 1);
    EXPECT_GE(keep, 1);
    EXPECT_NE(byName, keep);
    const auto tags = x->Tags();
    EXPECT_EQ(tags.size(), 3u);
    ASSERT_NE(FindTag(tags, "KeepB"), nullptr);
    EXPECT_EQ(FindTag(tags, "KeepB")->keyWidth, 80);
    ASSERT_NE(FindTag(tags, "CatFlTl"), nullptr);
  }
  // Changes made through the main tag reach the others.
  {
    auto t = OpenRecords();
    Add(*t, {"B", "three", "/x/3", "", "", ""});
    Add(*t, {"A", "four", "/w/4", "", "", ""});
    ASSERT_TRUE(t->Locate("FLTITLE", "one"));
    t->Edit();
    t->SetFieldByName("FLNAME", "/a/1");
    t->SetFieldByName("Catalog", "B");
    t->Post();
    ASSERT_TRUE(t->Locate("FLTITLE", "two"));
    t->Delete();
  }
  auto byName = OpenRecords("ByName");
  EXPECT_EQ(Column(*byName, "FLNAME"), (Strings{"/a/1", "/w/4", "/x/3"}));
  auto keep = OpenRecords("KeepB");
  EXPECT_EQ(Column(*keep, "FLTITLE"), (Strings{"one", "three"}));
  // The same after a Reindex.
  byName.reset();
  keep.reset();
  {
    auto x = OpenRecords("", true);
    x->Reindex();
  }
  byName = OpenRecords("ByName");
  EXPECT_EQ(Column(*byName, "FLNAME"), (Strings{"/a/1", "/w/4", "/x/3"}));
}

TEST_F(IndexTest, IndexTagReplacesATagOfTheSameName) {
  AddRecords({{"A", "b", "/2", "", "", ""}, {"A", "a", "/1", "", "", ""}});
  {
    auto x = OpenRecords("", true);
    EXPECT_GE(x->IndexTag(xbase::IndexPathFor(RecordsPath()), "Other", "FLTITLE", "", false), 1);
    EXPECT_GE(x->IndexTag(xbase::IndexPathFor(RecordsPath()), "Other", "FLNAME", "", false), 1);
    const auto tags = x->Tags();
    EXPECT_EQ(tags.size(), 2u);
    ASSERT_NE(FindTag(tags, "Other"), nullptr);
    EXPECT_EQ(FindTag(tags, "Other")->key, "FLNAME");
  }
  auto t = OpenRecords("Other");
  EXPECT_EQ(Column(*t, "FLNAME"), (Strings{"/1", "/2"}));
}

TEST_F(IndexTest, IndexTagNeedsExclusiveUse) {
  auto t = OpenRecords("", false);
  xbase::Error e = CatchError([&] {
    t->IndexTag(xbase::IndexPathFor(RecordsPath()), "More", "FLTITLE", "", false);
  });
  EXPECT_TRUE(e.code() == ErrorCode::Usage || e.code() == ErrorCode::Locked) << e.what();
  EXPECT_EQ(t->Tags().size(), 1u);
}

TEST_F(IndexTest, BadKeyExpressionIsRefused) {
  auto x = OpenRecords("", true);
  xbase::Error e = CatchError([&] {
    x->IndexTag(xbase::IndexPathFor(RecordsPath()), "Bad", "upper(FLTITLE", "", false);
  });
  EXPECT_EQ(e.code(), ErrorCode::Expression);
  EXPECT_NE(std::string(e.what()).find("upper(FLTITLE"), std::string::npos) << e.what();
  e = CatchError([&] {
    x->IndexTag(xbase::IndexPathFor(RecordsPath()), "Bad", "FLTITLE", ".not.", false);
  });
  EXPECT_EQ(e.code(), ErrorCode::Expression);
  EXPECT_EQ(x->Tags().size(), 1u) << "a refused tag leaves the index as it was";
  x->Close();
  auto t = OpenRecords();
  EXPECT_EQ(t->Tags().size(), 1u);
}

TEST_F(IndexTest, StaleIndexIsRebuiltAtOpen) {
  AddRecords({{"A", "m", "", "", "", ""}, {"A", "c", "", "", "", ""}});
  const std::string nsx = xbase::IndexPathFor(RecordsPath());
  const std::string aside = Folder() + "/aside.nsx";
  fs::rename(nsx, aside);
  // Another copy of the program, without the index file, changes the table.
  {
    auto t = OpenRecords("");
    Add(*t, {"A", "a", "", "", "", ""});
    Add(*t, {"A", "z", "", "", "", ""});
    t->First();
    t->Edit();
    t->SetFieldByName("FLTITLE", "x");  // m -> x
    t->Post();
    t->Next();  // c
    t->Delete();
  }
  ASSERT_FALSE(fs::exists(nsx));
  fs::rename(aside, nsx);

  auto t = OpenRecords();
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"a", "x", "z"}));
  EXPECT_EQ(t->RecordCount(), 3);
  EXPECT_TRUE(t->Locate("FLTITLE", "z"));
  t->Close();
  EXPECT_TRUE(xbase::CheckTable(RecordsPath()).empty());
}

TEST_F(IndexTest, StaleIndexAfterEditsOnlyIsRebuilt) {
  // Same record count, only a key changed: the index must still be noticed
  // as stale.
  AddRecords({{"A", "b", "", "", "", ""}, {"A", "c", "", "", "", ""}, {"A", "d", "", "", "", ""}});
  const std::string nsx = xbase::IndexPathFor(RecordsPath());
  const std::string aside = Folder() + "/aside.nsx";
  fs::rename(nsx, aside);
  {
    auto t = OpenRecords("");
    t->Last();  // d -> a
    t->Edit();
    t->SetFieldByName("FLTITLE", "a");
    t->Post();
  }
  fs::rename(aside, nsx);
  auto t = OpenRecords();
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"a", "b", "c"}));
}

TEST_F(IndexTest, DamagedIndexIsRebuiltOrReportedNeverTrusted) {
  AddRecords({{"A", "m", "", "", "", ""}, {"A", "c", "", "", "", ""}, {"A", "x", "", "", "", ""}});
  const std::string nsx = xbase::IndexPathFor(RecordsPath());
  std::string bytes = ReadFileBytes(nsx);
  ASSERT_GT(bytes.size(), 16u);
  // Garble everything after the first bytes.
  for (size_t i = bytes.size() / 4; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 37);
  WriteFileBytes(nsx, bytes);
  const std::string table = ReadFileBytes(RecordsPath());
  // Either the tag is rebuilt and the order is right, or, when even the tag
  // definitions are unreadable, the open fails with a message naming the
  // index file. Never a wrong order.
  for (const std::string tag : {"CatFlTl", ""}) {
    SCOPED_TRACE("tag " + tag);
    try {
      auto t = OpenRecords(tag);
      EXPECT_EQ(Column(*t, "FLTITLE"), tag.empty() ? (Strings{"m", "c", "x"}) : (Strings{"c", "m", "x"}));
    } catch (const xbase::Error& e) {
      EXPECT_NE(std::string(e.what()).find("VTLDataA.nsx"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(ReadFileBytes(RecordsPath()), table) << "the table itself is untouched";
}

TEST_F(IndexTest, EditsOfNoKeyKeepTheIndexCurrentForTheNextOpen) {
  AddRecords({{"A", "m", "/m", "1", "", ""}, {"A", "c", "/c", "2", "", ""}, {"B", "x", "/x", "3", "", ""}});
  // Each kind of write through the engine, then a clean reopen: neither a
  // rebuild nor a comparison pass.
  const std::vector<std::pair<std::string, std::function<void(xbase::Table&)>>> writes = {
      {"description only",
       [](xbase::Table& t) {
         t.Edit();
         t.SetFieldByName("FLDESC", "a new description");
         t.Post();
       }},
      {"size only",
       [](xbase::Table& t) {
         t.Edit();
         t.SetFieldByName("FLSIZE", "1,234");
         t.Post();
       }},
      {"key", [](xbase::Table& t) { t.Edit(), t.SetFieldByName("FLTITLE", "b"), t.Post(); }},
      {"delete", [](xbase::Table& t) { t.Delete(); }},
      {"append", [](xbase::Table& t) { Add(t, {"C", "n", "/n", "4", "", "d"}); }},
      {"batch",
       [](xbase::Table& t) {
         t.BeginBatch();
         Add(t, {"C", "o", "/o", "5", "", ""});
         t.Edit();
         t.SetFieldByName("FLDESC", "in a batch");
         t.Post();
         t.EndBatch();
       }},
  };
  for (const auto& [what, write] : writes) {
    SCOPED_TRACE(what);
    {
      xbase::Environment env;
      auto t = OpenRecordsIn(env);
      write(*t);
    }
    xbase::Environment env;
    auto t = OpenRecordsIn(env);
    EXPECT_EQ(env.IndexRebuilds(), 0u);
    EXPECT_EQ(env.IndexVerifications(), 0u);
    t->Close();
    EXPECT_TRUE(xbase::CheckTable(RecordsPath()).empty());
  }
  auto t = OpenRecords();
  EXPECT_EQ(Keys(*t), (Strings{"A/m", "B/x", "C/n", "C/o"}));
}

TEST_F(IndexTest, ATableWhoseTimeAloneChangedIsComparedNotRebuilt) {
  AddRecords({{"A", "m", "", "", "", ""}, {"A", "c", "", "", "", ""}, {"B", "x", "", "", "", ""}});
  const auto later = fs::last_write_time(RecordsPath()) + std::chrono::hours(1);

  // A copy of the files (the copy's time is another): the check passes, the
  // first open compares once and stamps the index anew, the next is clean.
  fs::last_write_time(RecordsPath(), later);
  EXPECT_TRUE(xbase::CheckTable(RecordsPath()).empty());
  for (uint64_t compared : {1u, 0u}) {
    xbase::Environment env;
    auto t = OpenRecordsIn(env);
    EXPECT_EQ(Keys(*t), (Strings{"A/c", "A/m", "B/x"}));
    EXPECT_EQ(env.IndexVerifications(), compared);
    EXPECT_EQ(env.IndexRebuilds(), 0u);
  }

  // Another tool changes a title in place: same size, count and counter,
  // only the time tells. The comparison finds it and the index is rebuilt.
  std::string bytes = ReadFileBytes(RecordsPath());
  const size_t title = bytes.find("m   ");
  ASSERT_NE(title, std::string::npos);
  bytes[title] = 'a';
  WriteFileBytes(RecordsPath(), bytes);
  fs::last_write_time(RecordsPath(), later + std::chrono::hours(1));
  xbase::Environment env;
  auto t = OpenRecordsIn(env);
  EXPECT_EQ(Keys(*t), (Strings{"A/a", "A/c", "B/x"}));
  EXPECT_EQ(env.IndexRebuilds(), 1u);
}

TEST_F(IndexTest, IndexFilesThatAreNotOursNewerOrDamagedAreToldApart) {
  AddRecords({{"B", "b", "", "", "", ""}, {"A", "a", "", "", "", ""}});
  const std::string nsx = xbase::IndexPathFor(RecordsPath());
  const std::string sound = ReadFileBytes(nsx);
  const std::vector<xbase::TagInfo> tags = {{"CatFlTl", "Catalog+upper(FLTitle)", ".not. DELETED()", false, 0}};
  using Kind = xbase::IndexFileInfo::Kind;
  EXPECT_EQ(xbase::InspectIndexFile(Folder() + "/none.nsx").kind, Kind::Missing);
  EXPECT_EQ(xbase::InspectIndexFile(nsx).kind, Kind::Readable);

  std::string newer = sound;  // a later format, its state page intact
  newer[4] = 3;
  const uint32_t crc = xbase::Crc32(newer.data(), 508);
  for (int i = 0; i < 4; ++i) newer[508 + i] = static_cast<char>(crc >> (8 * i));
  std::string damaged = sound;  // both copies of the tag list
  damaged[4096 + 30] ^= 0x11;
  damaged[2 * 4096 + 30] ^= 0x11;
  struct Case {
    std::string name, bytes;
    Kind kind;
    ErrorCode code;
  };
  for (const Case& c : {Case{"not ours", "Some notes, not an index.\n", Kind::NotAnIndex, ErrorCode::Unsupported},
                        Case{"newer", newer, Kind::Newer, ErrorCode::Unsupported},
                        Case{"damaged", damaged, Kind::Damaged, ErrorCode::Corrupt}}) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(nsx, c.bytes);
    const xbase::IndexFileInfo info = xbase::InspectIndexFile(nsx);
    EXPECT_EQ(info.kind, c.kind);
    EXPECT_NE(info.problem.find(nsx), std::string::npos) << info.problem;
    const xbase::Error e = CatchError([&] { OpenRecords(); });
    EXPECT_EQ(e.code(), c.code);
    EXPECT_EQ(std::string(e.what()), info.problem);
    // Written anew from the table with the caller's tags, but never over a
    // newer file.
    if (c.kind == Kind::Newer) {
      EXPECT_EQ(CatchError([&] { xbase::RebuildIndexFile(RecordsPath(), nsx, tags); }).code(), ErrorCode::Unsupported);
      EXPECT_EQ(ReadFileBytes(nsx), c.bytes) << "a newer index file is left as it is";
      continue;
    }
    xbase::RebuildIndexFile(RecordsPath(), nsx, tags);
    auto t = OpenRecords();
    EXPECT_EQ(Keys(*t), (Strings{"A/a", "B/b"}));
    EXPECT_EQ(CatchError([&] { xbase::RebuildIndexFile(RecordsPath(), nsx, tags, env_); }).code(),
              ErrorCode::Locked);
  }
}

TEST_F(IndexTest, PageFailingItsChecksumAtOpenIsRebuiltAtOnce) {
  std::vector<Rec> recs;
  for (int i = 0; i < 400; ++i) recs.push_back({"A", "title " + std::to_string(1000 - i), "", "", "", ""});
  AddRecords(recs);
  const std::string nsx = xbase::IndexPathFor(RecordsPath());
  std::string bytes = ReadFileBytes(nsx);
  ASSERT_GT(bytes.size(), 5u * 4096);
  for (size_t page = 3; page < bytes.size() / 4096; ++page) bytes[page * 4096 + 2000] ^= 0x5A;
  WriteFileBytes(nsx, bytes);
  xbase::Environment env;
  auto t = OpenRecordsIn(env, "CatFlTl", true);
  EXPECT_EQ(env.IndexRebuilds(), 1u);
  EXPECT_EQ(t->RecordCount(), 400);
  EXPECT_EQ(t->FieldByName("FLTITLE"), "title 1000");
  t->Reindex();
  t->Close();
  EXPECT_TRUE(xbase::CheckTable(RecordsPath()).empty());
}

TEST_F(IndexTest, MissingIndexFileMeansNoTag) {
  AddRecords({{"A", "b", "", "", "", ""}, {"A", "a", "", "", "", ""}});
  fs::remove(xbase::IndexPathFor(RecordsPath()));
  xbase::Table t(env_);
  t.SetDatabaseName(Folder());
  t.SetTableName("VTLDataA.dbf");
  t.SetIndexTag("CatFlTl");
  EXPECT_EQ(CatchError([&] { t.Open(); }).code(), ErrorCode::NotFound);
  EXPECT_FALSE(t.Active());
  // The program then creates the tag afresh over the records already there.
  auto x = OpenRecords("", true);
  EXPECT_TRUE(x->Tags().empty());
  EXPECT_GE(x->IndexTag(xbase::IndexPathFor(RecordsPath()), "CatFlTl",
                        "Catalog+upper(FLTitle)", ".not. DELETED()", false),
            1);
  x->Close();
  auto r = OpenRecords();
  EXPECT_EQ(Column(*r, "FLTITLE"), (Strings{"a", "b"}));
}

TEST_F(IndexTest, BatchedAddsAreOrderedAtOnceAndOnDiskAtTheEnd) {
  AddRecords({{"A", "m", "", "", "", ""}});
  auto t = OpenRecords();
  auto other = OpenRecords();
  t->BeginBatch();
  t->BeginBatch();  // nests
  Add(*t, {"A", "z", "", "", "", ""});
  Add(*t, {"A", "a", "", "", "", ""});
  // Inside the batch both cursors already see the records in order.
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"a", "m", "z"}));
  EXPECT_EQ(Column(*other, "FLTITLE"), (Strings{"a", "m", "z"}));
  t->EndBatch();
  Add(*t, {"A", "b", "", "", "", ""});
  t->EndBatch();
  // The index on disk already matches the records, with the table still open.
  EXPECT_EQ(xbase::CheckTable(RecordsPath()), Strings{});
  t->Close();
  other->Close();
  xbase::Environment env2;
  auto fresh = OpenRecordsIn(env2);
  EXPECT_EQ(Column(*fresh, "FLTITLE"), (Strings{"a", "b", "m", "z"}));
}

TEST_F(IndexTest, BatchLeftOpenIsFinishedByClose) {
  {
    auto t = OpenRecords();
    t->BeginBatch();
    Add(*t, {"A", "y", "", "", "", ""});
    Add(*t, {"A", "x", "", "", "", ""});
    t->Close();
  }
  auto t = OpenRecords();
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"x", "y"}));
  t->Close();
  EXPECT_TRUE(xbase::CheckTable(RecordsPath()).empty());
}

TEST_F(IndexTest, ManyRecordsStayInOrder) {
  // Enough records for the index to need more than one page.
  std::vector<std::string> titles;
  {
    auto t = OpenRecords();
    t->BeginBatch();
    for (int i = 0; i < 3000; ++i) {
      const int k = (i * 7919) % 3000;  // a permutation of 0..2999
      char title[32];
      std::snprintf(title, sizeof title, "Title %05d", k);
      titles.push_back(title);
      Add(*t, {i % 2 ? "Even" : "Odd", title, "", "", "", ""});
    }
    t->EndBatch();
  }
  auto t = OpenRecords();
  EXPECT_EQ(t->RecordCount(), 3000);
  const Strings seen = Keys(*t);
  ASSERT_EQ(seen.size(), 3000u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(), [](const std::string& a, const std::string& b) {
    return xbase::Utf8Upper(a) < xbase::Utf8Upper(b);
  }));
  t->SetQuery("Catalog = \"Odd  \"");
  EXPECT_EQ(t->RecordCount(), 1500);
  ASSERT_TRUE(t->MoveToIndex(1499));
  EXPECT_EQ(t->FieldByName("Catalog"), "Odd");
  t->Close();
  EXPECT_TRUE(xbase::CheckTable(RecordsPath()).empty());
}

TEST_F(IndexTest, KeysBeyondTheSortBudgetComeOutInTreeOrder) {
  // Two tags, keys that differ only past a blank or by a byte below the
  // blank, equal keys told apart by record number, and a budget so small
  // that the entries go through many runs of the scratch file.
  std::vector<std::tuple<size_t, std::string, uint32_t>> in;
  for (uint32_t r = 1; r <= 5000; ++r) {
    const uint32_t k = (r * 7919u) % 1000;
    in.emplace_back(r % 2, "K" + std::to_string(k % 97) + (k % 3 == 0 ? "\x01" : k % 3 == 1 ? " x" : ""), r);
  }
  const std::string scratch = Folder() + "/keys.sort";
  Strings want, got;
  {
    xbase::KeySorter small(2, scratch, 1);
    for (auto& [t, key, r] : in) small.Add(t, key, r);
    small.Finish();
    EXPECT_TRUE(small.Spilled());
    auto sorted = in;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a) < std::get<0>(b);
      const int c = xbase::ComparePadded(std::get<1>(a), std::get<1>(b));
      return c != 0 ? c < 0 : std::get<2>(a) < std::get<2>(b);
    });
    for (auto& [t, key, r] : sorted) want.push_back(std::to_string(t) + "|" + key + "|" + std::to_string(r));
    std::string_view key;
    uint32_t r = 0;
    for (size_t t = 0; t < 2; ++t)
      while (small.Next(t, key, r)) got.push_back(std::to_string(t) + "|" + std::string(key) + "|" + std::to_string(r));
  }
  EXPECT_EQ(got, want);
  EXPECT_FALSE(fs::exists(scratch)) << "the scratch file goes with the sorter";
}

TEST_F(IndexTest, ALoadOfManyRecordsEndsWithTheIndexBuiltFromThem) {
  AddRecords({{"B", "first", "/1", "", "", ""}});
  const int kAdded = 12000;  // past the point where a load defers its index
  auto load = [&](xbase::Table& t, int from) {
    t.BeginLoad();
    for (int i = from; i < from + kAdded; ++i) {
      char title[32];
      std::snprintf(title, sizeof title, "T%05d", (i * 7919) % 100000);
      Add(t, {i % 2 ? "A" : "C", title, "/p", "", "", i % 5 ? "" : "memo"});
    }
  };
  {
    auto t = OpenRecords("CatFlTl", true);
    load(*t, 0);
    t->EndBatch();
    EXPECT_EQ(t->RecordCount(), kAdded + 1);
    t->First();
    EXPECT_EQ(t->FieldByName("Catalog"), "A") << "the view reads the new index";
    // A load left open is finished by the close.
    load(*t, kAdded);
  }
  xbase::Environment env;
  auto t = OpenRecordsIn(env);
  EXPECT_EQ(env.IndexRebuilds(), 0u) << "the index was left current";
  const Strings keys = Keys(*t);
  ASSERT_EQ(keys.size(), size_t(2 * kAdded + 1));
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_EQ(keys[kAdded], "B/first");
  t->SetQuery("Catalog = \"C\"");
  EXPECT_EQ(t->RecordCount(), kAdded);
  t->Close();
  EXPECT_EQ(xbase::CheckTable(RecordsPath()), Strings{});
}

}  // namespace
