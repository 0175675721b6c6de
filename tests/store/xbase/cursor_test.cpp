// The cursor as the program uses it: navigation over the visible records,
// counts and places, bookmarks, locate, the edit states, and two cursors on
// one open file.
#include "xbase_fixture.h"

namespace {

using namespace xbtest;
using xbase::ErrorCode;
using xbase::State;
using Strings = std::vector<std::string>;

class CursorTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
  }
  // Records of three catalogs, added out of order.
  void AddFruit() {
    AddRecords({{"B", "zebra", "/b/zebra", "", "", ""},
                {"A", "cherry", "/a/cherry", "3", "", "cherry memo"},
                {"A", "apple", "/a/apple", "1", "", "apple memo"},
                {"C", "Apple", "/c/apple", "", "", ""},
                {"A", "Banana", "/a/banana", "2", "", "banana memo"}});
  }
  static std::string Title(const xbase::Table& t) { return t.FieldByName("FLTITLE"); }
};

TEST_F(CursorTest, ClosedTableIsInactive) {
  xbase::Table t(env_);
  EXPECT_EQ(t.GetState(), State::Inactive);
  EXPECT_FALSE(t.Active());
  // A table never opened refuses a field as every other use of its records.
  EXPECT_EQ(CatchError([&] { t.SetFieldByName("FLTITLE", "x"); }).code(), ErrorCode::Usage);
  EXPECT_EQ(CatchError([&] { t.SetField(0, "x"); }).code(), ErrorCode::Usage);
  t.SetDatabaseName(Folder());
  t.SetTableName("VTLDataA.dbf");
  t.SetIndexTag("CatFlTl");
  EXPECT_EQ(t.Path(), Folder() + "/VTLDataA.dbf");
  t.Open();
  EXPECT_TRUE(t.Active());
  EXPECT_EQ(t.GetState(), State::Browse);
  t.Close();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.GetState(), State::Inactive);
  EXPECT_STREQ(xbase::StateName(State::Inactive), "Inactive");
  EXPECT_STREQ(xbase::StateName(State::Browse), "Browse");
  EXPECT_STREQ(xbase::StateName(State::Edit), "Edit");
  EXPECT_STREQ(xbase::StateName(State::Insert), "Insert");
}

TEST_F(CursorTest, OpenWithAMissingTagOrFileFails) {
  EXPECT_EQ(CatchError([&] { OpenRecords("NoSuchTag"); }).code(), ErrorCode::NotFound);
  xbase::Table t(env_);
  t.SetDatabaseName(Folder());
  t.SetTableName("Missing.dbf");
  xbase::Error e = CatchError([&] { t.Open(); });
  EXPECT_NE(std::string(e.what()).find("Missing.dbf"), std::string::npos) << e.what();
  EXPECT_FALSE(t.Active());
}

TEST_F(CursorTest, EmptyView) {
  auto t = OpenRecords();
  EXPECT_EQ(t->GetState(), State::Browse);
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_TRUE(t->Eof());
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(t->RecordIndex(), -1);
  EXPECT_EQ(t->RecNo(), 0u);
  EXPECT_EQ(t->FieldByName("FLTITLE"), "");
  EXPECT_EQ(t->FieldByName("FLDESC"), "");
  t->First();
  EXPECT_TRUE(t->Eof() && t->Bof());
  t->Next();
  EXPECT_TRUE(t->Eof() && t->Bof());
  t->Last();
  EXPECT_TRUE(t->Eof() && t->Bof());
  t->Prior();
  EXPECT_TRUE(t->Eof() && t->Bof());
  EXPECT_EQ(t->MoveBy(3), 0);
  EXPECT_FALSE(t->MoveToIndex(0));
  EXPECT_FALSE(t->Locate("FLTITLE", "x"));
  EXPECT_FALSE(t->GetBookmark().valid());
}

TEST_F(CursorTest, TagOrderIsCatalogThenTitleWithoutCase) {
  AddFruit();
  auto t = OpenRecords();
  EXPECT_EQ(Keys(*t), (Strings{"A/apple", "A/Banana", "A/cherry", "B/zebra", "C/Apple"}));
  // Backwards gives the same order reversed.
  Strings back;
  t->Last();
  while (!t->Bof()) {
    back.push_back(Title(*t));
    t->Prior();
  }
  EXPECT_EQ(back, (Strings{"Apple", "zebra", "cherry", "Banana", "apple"}));
  // Natural order is the order of the file.
  auto n = OpenRecords("");
  EXPECT_EQ(Column(*n, "FLTITLE"), (Strings{"zebra", "cherry", "apple", "Apple", "Banana"}));
  EXPECT_EQ(n->RecordCount(), 5);
}

TEST_F(CursorTest, NavigationStopsAtTheEnds) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  EXPECT_EQ(Title(*t), "apple");
  EXPECT_FALSE(t->Eof());
  t->Next();
  EXPECT_EQ(Title(*t), "Banana");
  EXPECT_FALSE(t->Bof());
  EXPECT_FALSE(t->Eof());
  t->Prior();
  EXPECT_EQ(Title(*t), "apple");
  t->Prior();  // before the first: stays on it
  EXPECT_TRUE(t->Bof());
  EXPECT_FALSE(t->Eof());
  EXPECT_EQ(Title(*t), "apple");
  t->Next();
  EXPECT_FALSE(t->Bof());
  EXPECT_EQ(Title(*t), "Banana");

  t->Last();
  EXPECT_EQ(Title(*t), "Apple");
  EXPECT_FALSE(t->Bof());
  t->Next();  // past the last: stays on it
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(Title(*t), "Apple");
  t->Prior();
  EXPECT_FALSE(t->Eof());
  EXPECT_EQ(Title(*t), "zebra");
}

TEST_F(CursorTest, FirstSetsBofAndLastSetsEof) {
  // The dataset's convention: a loop "Last; while not Bof do Prior" and
  // "First; while not Eof do Next" each visit every record once.
  AddFruit();
  auto t = OpenRecords();
  t->First();
  EXPECT_TRUE(t->Bof());
  EXPECT_FALSE(t->Eof());
  t->Last();
  EXPECT_TRUE(t->Eof());
  EXPECT_FALSE(t->Bof());
}

TEST_F(CursorTest, OneRecordView) {
  AddRecords({{"A", "only", "", "", "", ""}});
  auto t = OpenRecords();
  t->First();
  EXPECT_FALSE(t->Eof());
  EXPECT_EQ(Title(*t), "only");
  t->Next();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(Title(*t), "only");
  t->Prior();
  EXPECT_EQ(Title(*t), "only");
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->RecordIndex(), 0);
}

TEST_F(CursorTest, MoveByReportsHowFarItWent) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  EXPECT_EQ(t->MoveBy(2), 2);
  EXPECT_EQ(Title(*t), "cherry");
  EXPECT_EQ(t->MoveBy(-1), -1);
  EXPECT_EQ(Title(*t), "Banana");
  EXPECT_EQ(t->MoveBy(10), 3);
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(Title(*t), "Apple");
  EXPECT_EQ(t->MoveBy(-10), -4);
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(Title(*t), "apple");
  EXPECT_EQ(t->MoveBy(0), 0);
  EXPECT_EQ(Title(*t), "apple");
}

TEST_F(CursorTest, RecordIndexAndMoveToIndex) {
  AddFruit();
  auto t = OpenRecords();
  EXPECT_EQ(t->RecordCount(), 5);
  t->First();
  EXPECT_EQ(t->RecordIndex(), 0);
  t->Next();
  t->Next();
  EXPECT_EQ(t->RecordIndex(), 2);
  ASSERT_TRUE(t->MoveToIndex(3));
  EXPECT_EQ(Title(*t), "zebra");
  EXPECT_EQ(t->RecordIndex(), 3);
  EXPECT_FALSE(t->MoveToIndex(5));
  EXPECT_FALSE(t->MoveToIndex(-1));
  EXPECT_EQ(Title(*t), "zebra") << "a failed move keeps the place";
  ASSERT_TRUE(t->MoveToIndex(0));
  EXPECT_EQ(Title(*t), "apple");
  ASSERT_TRUE(t->MoveToIndex(4));
  EXPECT_EQ(Title(*t), "Apple");
  // RecNo is the physical place in the file.
  EXPECT_EQ(t->RecNo(), 4u);
}

TEST_F(CursorTest, Bookmarks) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  t->Next();
  const xbase::Bookmark banana = t->GetBookmark();
  ASSERT_TRUE(banana.valid());
  EXPECT_EQ(banana.recno, t->RecNo());
  t->Last();
  EXPECT_TRUE(t->BookmarkValid(banana));
  ASSERT_TRUE(t->GotoBookmark(banana));
  EXPECT_EQ(Title(*t), "Banana");
  EXPECT_EQ(t->RecordIndex(), 1);

  // A deleted record's bookmark is no longer valid and moving to it fails
  // without a move.
  t->Delete();
  EXPECT_FALSE(t->BookmarkValid(banana));
  t->Last();
  EXPECT_FALSE(t->GotoBookmark(banana));
  EXPECT_EQ(Title(*t), "Apple");
  EXPECT_FALSE(t->BookmarkValid(xbase::Bookmark{}));
  EXPECT_FALSE(t->BookmarkValid(xbase::Bookmark{999}));
  EXPECT_FALSE(t->GotoBookmark(xbase::Bookmark{999}));
  EXPECT_EQ(Title(*t), "Apple");
}

TEST_F(CursorTest, BookmarkOutsideTheQueryIsNotValid) {
  AddFruit();
  auto t = OpenRecords();
  ASSERT_TRUE(t->Locate("FLTITLE", "zebra"));
  const xbase::Bookmark zebra = t->GetBookmark();
  t->SetQuery("Catalog = \"A  \"");
  t->First();
  EXPECT_FALSE(t->BookmarkValid(zebra));
  EXPECT_FALSE(t->GotoBookmark(zebra));
  EXPECT_EQ(Title(*t), "apple");
}

// A batch over selected records by number: only records of the view are
// touched, the view stays where it was, the current record shows its new
// bytes, and the index follows every change.
TEST_F(CursorTest, ChangesByNumberActOnTheViewOnly) {
  AddFruit();
  auto t = OpenRecords();
  t->SetQuery("Catalog = \"A  \"");
  ASSERT_TRUE(t->Locate("FLTITLE", "Banana"));
  const uint32_t banana = t->RecNo();
  const int catalog = t->FieldIndex("Catalog");
  EXPECT_FALSE(t->SetFieldOf(1, catalog, "D")) << "zebra is in catalog B, not in the view";
  EXPECT_FALSE(t->DeleteRecordOf(99));
  EXPECT_TRUE(t->SetFieldOf(banana, catalog, "C"));
  EXPECT_EQ(t->RecNo(), banana);
  EXPECT_EQ(t->FieldByName("Catalog"), "C");
  EXPECT_FALSE(t->SetFieldOf(banana, catalog, "D")) << "it has left the view";
  EXPECT_TRUE(t->DeleteRecordOf(2));  // cherry
  t->First();
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(Title(*t), "apple");
  t->Edit();
  EXPECT_THROW(t->DeleteRecordOf(t->RecNo()), xbase::Error);
  t->Cancel();
  t->SetQuery("Catalog = \"C  \"");
  t->First();
  // The numbers of the view, from the tag alone, as the records give them.
  std::vector<uint32_t> byTag, byRecord;
  t->ForEachRecno([&](uint32_t r) { byTag.push_back(r); return true; });
  t->ForEachRecord([&](const xbase::RecordRef& r) { byRecord.push_back(r.recno); return true; });
  EXPECT_EQ(byTag, byRecord);
  EXPECT_EQ(byTag.size(), 2u);
  EXPECT_EQ(t->RecordCount(), 2);
  EXPECT_EQ(Title(*t), "Apple");
  t->Next();
  EXPECT_EQ(Title(*t), "Banana");
  t->Close();
  EXPECT_EQ(xbase::CheckTable(RecordsPath()), Strings{});
}

TEST_F(CursorTest, Locate) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  EXPECT_TRUE(t->Locate("FLTITLE", "cherry"));
  EXPECT_EQ(t->FieldByName("FLNAME"), "/a/cherry");
  EXPECT_EQ(t->RecordIndex(), 2);

  // Exact by default: a beginning is not enough; not found keeps the place.
  EXPECT_FALSE(t->Locate("FLTITLE", "Ban"));
  EXPECT_EQ(Title(*t), "cherry");
  EXPECT_TRUE(t->Locate("FLTITLE", "Ban", {.partialKey = true}));
  EXPECT_EQ(Title(*t), "Banana");

  // Letter case counts unless told otherwise.
  EXPECT_FALSE(t->Locate("FLTITLE", "banana"));
  EXPECT_EQ(Title(*t), "Banana");
  t->Last();
  EXPECT_TRUE(t->Locate("FLTITLE", "BANANA", {.caseInsensitive = true}));
  EXPECT_EQ(Title(*t), "Banana");
  EXPECT_TRUE(t->Locate("FLTITLE", "ZEB", {.partialKey = true, .caseInsensitive = true}));
  EXPECT_EQ(Title(*t), "zebra");

  // The first match in view order, not in file order: "Apple" of catalog C
  // comes after "apple" of catalog A.
  t->Last();
  EXPECT_TRUE(t->Locate("FLTITLE", "APPLE", {.caseInsensitive = true}));
  EXPECT_EQ(t->FieldByName("Catalog"), "A");
  EXPECT_TRUE(t->Locate("FLTITLE", "Apple"));
  EXPECT_EQ(t->FieldByName("Catalog"), "C");

  // Any field, field name in any case.
  EXPECT_TRUE(t->Locate("flname", "/b/", {.partialKey = true}));
  EXPECT_EQ(Title(*t), "zebra");
  EXPECT_TRUE(t->Locate("FlSize", "2"));
  EXPECT_EQ(Title(*t), "Banana");
  EXPECT_FALSE(t->Locate("FLTITLE", "zebra2"));
  EXPECT_FALSE(t->Locate("FLTITLE", "zebr"));
  EXPECT_EQ(Title(*t), "Banana");
}

TEST_F(CursorTest, LocateIgnoresCaseOfNationalLetters) {
  AddRecords({{"A", "MÜLLER Ärger", "", "", "", ""}, {"A", "mueller", "", "", "", ""}});
  auto t = OpenRecords();
  t->Last();
  EXPECT_TRUE(t->Locate("FLTITLE", "müller ärger", {.caseInsensitive = true}));
  EXPECT_EQ(Title(*t), "MÜLLER Ärger");
  EXPECT_TRUE(t->Locate("FLTITLE", "mueller"));
  EXPECT_TRUE(t->Locate("FLTITLE", "müll", {.partialKey = true, .caseInsensitive = true}));
  EXPECT_EQ(Title(*t), "MÜLLER Ärger");
}

TEST_F(CursorTest, LocateSeesOnlyTheQuery) {
  AddFruit();
  auto t = OpenRecords();
  t->SetQuery("Catalog = \"C  \"");
  EXPECT_FALSE(t->Locate("FLTITLE", "apple"));
  EXPECT_TRUE(t->Locate("FLTITLE", "Apple"));
  EXPECT_EQ(t->FieldByName("Catalog"), "C");
}

TEST_F(CursorTest, FieldsByNameInAnyCase) {
  AddFruit();
  auto t = OpenRecords();
  EXPECT_EQ(t->FieldIndex("catalog"), 0);
  EXPECT_EQ(t->FieldIndex("FLTitle"), 1);
  EXPECT_EQ(t->FieldIndex("FLDESC"), 5);
  EXPECT_EQ(t->FieldIndex("NOFIELD"), -1);
  ASSERT_EQ(t->Fields().size(), 6u);
  EXPECT_EQ(t->Fields()[5].name, "FLDESC");
  EXPECT_EQ(t->Fields()[5].type, 'M');
  EXPECT_EQ(t->Fields()[2].width, 255);
  t->First();
  EXPECT_EQ(t->FieldByName("fltitle"), "apple");
  EXPECT_EQ(t->FieldByName("FLDesc"), "apple memo");
  EXPECT_EQ(t->FieldByName("catalog"), "A");
  EXPECT_EQ(CatchError([&] { t->FieldByName("NOFIELD"); }).code(), ErrorCode::NotFound);
  t->Edit();
  t->SetFieldByName("flTITLE", "apricot");
  EXPECT_EQ(t->FieldByName("FLTITLE"), "apricot");
  EXPECT_EQ(CatchError([&] { t->SetFieldByName("NOFIELD", "x"); }).code(), ErrorCode::NotFound);
  t->Cancel();
}

// --- editing ---------------------------------------------------------------------

TEST_F(CursorTest, AppendPostKeepsTheNewRecordCurrent) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  t->Append();
  EXPECT_EQ(t->GetState(), State::Insert);
  EXPECT_FALSE(t->Modified());
  EXPECT_EQ(t->FieldByName("FLTITLE"), "") << "a new record starts blank";
  t->SetFieldByName("Catalog", "A");
  t->SetFieldByName("FLTITLE", "blueberry");
  t->SetFieldByName("FLDESC", "blue");
  EXPECT_TRUE(t->Modified());
  t->Post();
  EXPECT_EQ(t->GetState(), State::Browse);
  EXPECT_FALSE(t->Modified());
  EXPECT_EQ(Title(*t), "blueberry");
  EXPECT_EQ(t->FieldByName("FLDESC"), "blue");
  EXPECT_EQ(t->RecNo(), 6u) << "added at the end of the file";
  EXPECT_EQ(t->RecordCount(), 6);
  EXPECT_EQ(t->RecordIndex(), 2) << "in tag order after apple and Banana";
  t->Next();
  EXPECT_EQ(Title(*t), "cherry");
}

TEST_F(CursorTest, InsertAlsoAddsAtTheEnd) {
  AddFruit();
  auto t = OpenRecords("");
  t->First();
  t->Insert();
  EXPECT_EQ(t->GetState(), State::Insert);
  t->SetFieldByName("FLTITLE", "inserted");
  t->Post();
  EXPECT_EQ(t->RecNo(), 6u);
  t->Last();
  EXPECT_EQ(Title(*t), "inserted");
}

TEST_F(CursorTest, CancelledInsertAddsNothing) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  t->Next();
  t->Append();
  t->SetFieldByName("FLTITLE", "never");
  t->Cancel();
  EXPECT_EQ(t->GetState(), State::Browse);
  EXPECT_EQ(t->RecordCount(), 5);
  EXPECT_EQ(Title(*t), "Banana") << "back on the record that was current";
  t->Close();
  auto n = OpenRecords("");
  EXPECT_EQ(n->RecordCount(), 5);
  EXPECT_EQ(Le32(ReadFileBytes(RecordsPath()), 4), 5u);
}

TEST_F(CursorTest, EditPostAndCancel) {
  AddFruit();
  auto t = OpenRecords();
  ASSERT_TRUE(t->Locate("FLTITLE", "cherry"));
  t->Edit();
  EXPECT_EQ(t->GetState(), State::Edit);
  EXPECT_EQ(t->FieldByName("FLDESC"), "cherry memo") << "the edit buffer starts as the record";
  t->SetFieldByName("FLSIZE", "33");
  t->SetFieldByName("FLDESC", "changed memo");
  t->Cancel();
  EXPECT_EQ(t->GetState(), State::Browse);
  EXPECT_EQ(t->FieldByName("FLSIZE"), "3");
  EXPECT_EQ(t->FieldByName("FLDESC"), "cherry memo");

  t->Edit();
  t->SetFieldByName("FLSIZE", "33");
  t->SetFieldByName("FLDESC", "changed memo");
  t->Post();
  EXPECT_EQ(t->FieldByName("FLSIZE"), "33");
  t->Close();

  auto r = OpenRecords();
  ASSERT_TRUE(r->Locate("FLTITLE", "cherry"));
  EXPECT_EQ(r->FieldByName("FLSIZE"), "33");
  EXPECT_EQ(r->FieldByName("FLDESC"), "changed memo");
  EXPECT_EQ(r->RecordCount(), 5);
}

TEST_F(CursorTest, EditingTheKeyMovesTheRecordAndKeepsItCurrent) {
  AddFruit();
  auto t = OpenRecords();
  t->First();  // A/apple
  t->Edit();
  t->SetFieldByName("FLTITLE", "yam");
  t->Post();
  EXPECT_EQ(Title(*t), "yam");
  EXPECT_EQ(t->RecordIndex(), 2);
  t->Next();
  EXPECT_EQ(Title(*t), "zebra");
  EXPECT_EQ(Keys(*t), (Strings{"A/Banana", "A/cherry", "A/yam", "B/zebra", "C/Apple"}));
}

TEST_F(CursorTest, MovingAwayPostsAChangedRecord) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  t->Edit();
  t->SetFieldByName("FLSIZE", "111");
  t->Next();
  EXPECT_EQ(t->GetState(), State::Browse);
  t->First();
  EXPECT_EQ(t->FieldByName("FLSIZE"), "111");

  // A changed new record is added by the move.
  t->Append();
  t->SetFieldByName("Catalog", "A");
  t->SetFieldByName("FLTITLE", "date");
  t->First();
  EXPECT_EQ(t->GetState(), State::Browse);
  EXPECT_EQ(t->RecordCount(), 6);
  EXPECT_TRUE(t->Locate("FLTITLE", "date"));
}

TEST_F(CursorTest, MovingAwayCancelsAnUnchangedRecord) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  t->Append();  // blank and untouched
  t->Last();
  EXPECT_EQ(t->GetState(), State::Browse);
  EXPECT_EQ(t->RecordCount(), 5);
  t->Edit();
  t->Prior();
  EXPECT_EQ(t->GetState(), State::Browse);
  t->Close();
  EXPECT_EQ(Le32(ReadFileBytes(RecordsPath()), 4), 5u) << "no blank record was written";
}

TEST_F(CursorTest, ClosePostsAChangedRecordAndDropsAnUntouchedOne) {
  auto t = OpenRecords();
  t->Append();
  t->SetFieldByName("FLTITLE", "kept at close");
  t->Close();
  t->Open();
  EXPECT_EQ(t->RecordCount(), 1);
  t->First();
  EXPECT_EQ(Title(*t), "kept at close");
  t->Append();
  t->Close();
  t->Open();
  EXPECT_EQ(t->RecordCount(), 1);
}

TEST_F(CursorTest, EditOnAnEmptyViewStartsAnInsert) {
  AddFruit();
  auto t = OpenRecords();
  t->SetQuery("Catalog = \"Empty  \"");
  ASSERT_TRUE(t->IsEmpty());
  t->Edit();
  EXPECT_EQ(t->GetState(), State::Insert);
  t->SetFieldByName("Catalog", "Empty");
  t->SetFieldByName("FLTITLE", "first of its catalog");
  t->Post();
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(Title(*t), "first of its catalog");
}

TEST_F(CursorTest, SettingAFieldOutsideAnEditIsRefused) {
  AddFruit();
  auto t = OpenRecords();
  t->First();
  EXPECT_EQ(CatchError([&] { t->SetFieldByName("FLTITLE", "x"); }).code(), ErrorCode::Usage);
  EXPECT_EQ(Title(*t), "apple");
}

TEST_F(CursorTest, LongTextIsCutAtTheFieldWidth) {
  auto t = OpenRecords();
  t->Append();
  t->SetFieldByName("FLSIZE", "100,000,000");  // 11 characters into 10
  EXPECT_EQ(t->FieldByName("FLSIZE"), "100,000,00");
  // 11 two-byte letters into 20 bytes: 10 of them.
  std::string e11;
  for (int i = 0; i < 11; ++i) e11 += "é";
  t->SetFieldByName("Catalog", e11);
  EXPECT_EQ(t->FieldByName("Catalog"), e11.substr(0, 20));
  // One byte then two-byte letters: the letter that would be split is dropped.
  t->SetFieldByName("Catalog", "a" + e11);
  EXPECT_EQ(t->FieldByName("Catalog"), "a" + e11.substr(0, 18));
  // Four-byte characters.
  std::string smiles;
  for (int i = 0; i < 6; ++i) smiles += "🙂";
  t->SetFieldByName("Catalog", "x" + smiles);  // 1 + 24 bytes
  EXPECT_EQ(t->FieldByName("Catalog"), "x" + smiles.substr(0, 16));
  t->SetFieldByName("FLTITLE", "ok");
  t->Post();
  t->Close();

  // The stored field is the cut text, blank padded.
  const std::string b = ReadFileBytes(RecordsPath());
  const size_t rec = Le16(b, 8);
  EXPECT_EQ(b.substr(rec + 1, 20), "x" + smiles.substr(0, 16) + "   ");
  EXPECT_EQ(b.substr(rec + 1 + 20 + 80 + 255, 10), "100,000,00");
}

TEST_F(CursorTest, CutToWidthNeverSplitsACharacter) {
  EXPECT_EQ(xbase::CutToWidth("abc", 5), "abc");
  EXPECT_EQ(xbase::CutToWidth("abcdef", 3), "abc");
  EXPECT_EQ(xbase::CutToWidth("aé", 2), "a");
  EXPECT_EQ(xbase::CutToWidth("a€", 3), "a");
  EXPECT_EQ(xbase::CutToWidth("a€", 4), "a€");
  EXPECT_EQ(xbase::CutToWidth("🙂", 3), "");
  EXPECT_EQ(xbase::CutToWidth("", 3), "");
}

TEST_F(CursorTest, UpperAndLowerCaseKeepTheByteLength) {
  EXPECT_EQ(xbase::Utf8Upper("abc äöüé ßx"), "ABC ÄÖÜÉ ßX");
  EXPECT_EQ(xbase::Utf8Lower("ÀÉÎÕÜ"), "àéîõü");
  EXPECT_EQ(xbase::Utf8Upper("ωμέγα"), "ΩΜΈΓΑ");
  EXPECT_EQ(xbase::Utf8Upper("привет"), "ПРИВЕТ");
  EXPECT_EQ(xbase::Utf8Lower("ĄĆĘŁŃ"), "ąćęłń");
  const std::string mixed = "Ça va? 日本 🙂 Ärger";
  EXPECT_EQ(xbase::Utf8Upper(mixed).size(), mixed.size());
  EXPECT_EQ(xbase::Utf8Upper(mixed), "ÇA VA? 日本 🙂 ÄRGER");
}

// --- deleting -------------------------------------------------------------------

TEST_F(CursorTest, DeleteHidesTheRecordAndMovesToTheNext) {
  AddFruit();
  auto t = OpenRecords();
  ASSERT_TRUE(t->Locate("FLTITLE", "Banana"));
  const uint32_t banana = t->RecNo();
  t->Delete();
  EXPECT_EQ(t->GetState(), State::Browse);
  EXPECT_EQ(Title(*t), "cherry");
  EXPECT_EQ(t->RecordCount(), 4);
  EXPECT_EQ(Keys(*t), (Strings{"A/apple", "A/cherry", "B/zebra", "C/Apple"}));
  EXPECT_FALSE(t->Locate("FLTITLE", "Banana"));

  // Natural order with Deleted on hides it too.
  auto n = OpenRecords("");
  EXPECT_EQ(n->RecordCount(), 4);
  EXPECT_EQ(Column(*n, "FLTITLE"), (Strings{"zebra", "cherry", "apple", "Apple"}));

  // With Deleted off the marked record shows again in natural order.
  env_.SetDeleted(false);
  EXPECT_EQ(n->RecordCount(), 5);
  EXPECT_EQ(Column(*n, "FLTITLE"), (Strings{"zebra", "cherry", "apple", "Apple", "Banana"}));
  n->Last();
  EXPECT_EQ(n->RecNo(), banana);
  EXPECT_TRUE(n->IsDeletedRecord());
  EXPECT_EQ(n->FieldByName("FLDESC"), "banana memo") << "deleting keeps the memo until a pack";
  n->First();
  EXPECT_FALSE(n->IsDeletedRecord());
}

TEST_F(CursorTest, DeletingTheOnlyRecordLeavesAnEmptyView) {
  AddRecords({{"A", "only", "", "", "", ""}});
  auto t = OpenRecords();
  t->First();
  t->Delete();
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(t->FieldByName("FLTITLE"), "");
}

TEST_F(CursorTest, DeletingTheLastRecordStaysOnAVisibleRecord) {
  AddFruit();
  auto t = OpenRecords();
  t->Last();
  t->Delete();
  EXPECT_EQ(t->RecordCount(), 4);
  // Wherever it lands, the current record is a visible one.
  ASSERT_NE(t->RecNo(), 0u);
  EXPECT_FALSE(t->IsDeletedRecord());
  EXPECT_NE(Title(*t), "Apple");
}

// --- two cursors on one file -----------------------------------------------------

TEST_F(CursorTest, TwoCursorsSeeEachOthersChanges) {
  AddFruit();
  auto a = OpenRecords();
  auto b = OpenRecords();
  EXPECT_EQ(b->RecordCount(), 5);

  Add(*a, {"A", "avocado", "", "", "", "from a"});
  EXPECT_EQ(b->RecordCount(), 6);
  ASSERT_TRUE(b->Locate("FLTITLE", "avocado"));
  EXPECT_EQ(b->FieldByName("FLDESC"), "from a");

  ASSERT_TRUE(a->Locate("FLTITLE", "cherry"));
  a->Edit();
  a->SetFieldByName("FLTITLE", "Cherry red");
  a->SetFieldByName("FLDESC", "edited by a");
  a->Post();
  EXPECT_TRUE(b->Locate("FLTITLE", "Cherry red"));
  EXPECT_EQ(b->FieldByName("FLDESC"), "edited by a");
  EXPECT_FALSE(b->Locate("FLTITLE", "cherry"));

  ASSERT_TRUE(b->Locate("FLTITLE", "zebra"));
  b->Delete();
  EXPECT_EQ(a->RecordCount(), 5);
  EXPECT_EQ(Keys(*a), (Strings{"A/apple", "A/avocado", "A/Banana", "A/Cherry red", "C/Apple"}));
}

TEST_F(CursorTest, CursorKeepsItsRecordWhenTheOtherAddsBeforeIt) {
  AddRecords({{"A", "b", "", "", "", ""}, {"A", "m", "", "", "", ""}, {"A", "z", "", "", "", ""}});
  auto a = OpenRecords();
  auto b = OpenRecords();
  ASSERT_TRUE(b->Locate("FLTITLE", "m"));
  const uint32_t m = b->RecNo();
  EXPECT_EQ(b->RecordIndex(), 1);

  Add(*a, {"A", "a", "", "", "", ""});
  EXPECT_EQ(b->RecNo(), m);
  EXPECT_EQ(b->FieldByName("FLTITLE"), "m");
  EXPECT_EQ(b->RecordIndex(), 2);
  b->Next();
  EXPECT_EQ(b->FieldByName("FLTITLE"), "z");
  b->Prior();
  b->Prior();
  EXPECT_EQ(b->FieldByName("FLTITLE"), "b");
  b->Prior();
  EXPECT_EQ(b->FieldByName("FLTITLE"), "a");
}

TEST_F(CursorTest, CursorOnARecordTheOtherDeletedMovesOnSensibly) {
  AddRecords({{"A", "b", "", "", "", ""}, {"A", "m", "", "", "", ""}, {"A", "z", "", "", "", ""}});
  auto a = OpenRecords();
  auto b = OpenRecords();
  ASSERT_TRUE(b->Locate("FLTITLE", "m"));
  ASSERT_TRUE(a->Locate("FLTITLE", "m"));
  a->Delete();
  EXPECT_EQ(b->RecordCount(), 2);
  b->Next();
  EXPECT_EQ(b->FieldByName("FLTITLE"), "z");
  b->Prior();
  EXPECT_EQ(b->FieldByName("FLTITLE"), "b");
}

TEST_F(CursorTest, RefreshRereadsTheCurrentRecord) {
  AddFruit();
  auto a = OpenRecords();
  auto b = OpenRecords();
  ASSERT_TRUE(a->Locate("FLTITLE", "zebra"));
  ASSERT_TRUE(b->Locate("FLTITLE", "zebra"));
  a->Edit();
  a->SetFieldByName("FLSIZE", "42");
  a->Post();
  b->Refresh();
  EXPECT_EQ(b->FieldByName("FLSIZE"), "42");
}

}  // namespace
