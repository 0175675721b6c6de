// FindContaining: the search window's pass over every catalog.
#include "xbase_fixture.h"

namespace {

using namespace xbtest;

class FindTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
    AddRecords({{"B", "MY REPORT", "/home/u/data/r1.txt", "", "", "annual numbers"},  // 1
                {"A", "notes", "/srv/Data/notes.txt", "", "", ""},                   // 2
                {"A", "report", "/home/u/misc/r.txt", "", "", ""},                   // 3
                {"A", "Report notes", "/home/u/r2.txt", "", "", "NUMBERS inside"},   // 4
                {"C", "Müller Bericht", "/x/MÜLLER.doc", "", "", ""},                // 5
                {"A", "old report", "/home/u/data/old.txt", "", "", ""}});           // 6
  }
  using Recnos = std::vector<uint32_t>;
};

TEST_F(FindTest, CaseInsensitiveAnywhereInTagOrder) {
  auto t = OpenRecords();
  // A/old report, A/report, A/Report notes, B/MY REPORT
  EXPECT_EQ(t->FindContaining("FLTITLE", "REPORT"), (Recnos{6, 3, 4, 1}));
  EXPECT_EQ(t->FindContaining("fltitle", "report", false), (Recnos{6, 3}));
  EXPECT_EQ(t->FindContaining("FLNAME", "data", false), (Recnos{6, 1}));
  EXPECT_EQ(t->FindContaining("FLNAME", "DATA"), (Recnos{2, 6, 1}));
  EXPECT_EQ(t->FindContaining("FLNAME", "müller"), (Recnos{5}));
  EXPECT_EQ(t->FindContaining("FLTITLE", "MÜLLER"), (Recnos{5}));
  EXPECT_TRUE(t->FindContaining("FLTITLE", "absent").empty());
}

TEST_F(FindTest, NaturalOrderFollowsTheFile) {
  auto t = OpenRecords("");
  EXPECT_EQ(t->FindContaining("FLTITLE", "report"), (Recnos{1, 3, 4, 6}));
}

TEST_F(FindTest, DeletedRecordsAreLeftOut) {
  auto t = OpenRecords();
  ASSERT_TRUE(t->Locate("FLTITLE", "report"));
  t->Delete();
  EXPECT_EQ(t->FindContaining("FLTITLE", "report"), (Recnos{6, 4, 1}));
}

TEST_F(FindTest, QueryDoesNotRestrictTheSearch) {
  auto t = OpenRecords();
  t->SetQuery("Catalog = \"B  \"");
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->FindContaining("FLTITLE", "report"), (Recnos{6, 3, 4, 1}));
  EXPECT_EQ(t->RecordCount(), 1) << "the query stays set";
}

TEST_F(FindTest, SearchesMemoText) {
  auto t = OpenRecords();
  EXPECT_EQ(t->FindContaining("FLDESC", "numbers"), (Recnos{4, 1}));
}

}  // namespace
