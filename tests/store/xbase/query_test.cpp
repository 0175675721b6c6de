// Queries as the program writes them: the catalog query of the main window
// and the expression forms the engine accepts.
#include "xbase_fixture.h"

namespace {

using namespace xbtest;
using xbase::ErrorCode;
using Strings = std::vector<std::string>;

class QueryTest : public XbaseTest {
 protected:
  void SetUp() override {
    XbaseTest::SetUp();
    MakeRecordsTable();
    AddRecords({{"Disk1", "apple", "/d1/apple", "", "", ""},
                {"Disk10", "apricot", "/d10/apricot", "", "", ""},
                {"Disk1", "Banana", "/d1/banana", "", "", ""},
                {"Disk10", "banana", "/d10/banana", "", "", ""},
                {"Disk10", "cherry", "/d10/cherry", "", "", ""},
                {"Disk2", "apple pie", "/d2/apple pie", "", "", ""}});
  }
  // The catalog query of the main window: name and two blanks, non-exact.
  static std::string CatalogQuery(const std::string& name) {
    return "Catalog = \"" + name + "  \"";
  }
};

TEST_F(QueryTest, CatalogQueryDoesNotTakeLongerNames) {
  auto t = OpenRecords();
  t->SetQuery(CatalogQuery("Disk1"));
  EXPECT_EQ(t->Query(), CatalogQuery("Disk1"));
  EXPECT_EQ(t->RecordCount(), 2);
  EXPECT_EQ(t->QueryRecCount(), 2);
  EXPECT_EQ(Keys(*t), (Strings{"Disk1/apple", "Disk1/Banana"}));
  t->Last();
  EXPECT_EQ(t->FieldByName("FLTITLE"), "Banana");
  EXPECT_EQ(t->RecordIndex(), 1);

  t->SetQuery(CatalogQuery("Disk10"));
  EXPECT_EQ(Keys(*t), (Strings{"Disk10/apricot", "Disk10/banana", "Disk10/cherry"}));

  // Without the blanks, the non-exact comparison takes every name that
  // begins with the text.
  t->SetQuery("Catalog = \"Disk1\"");
  EXPECT_EQ(t->RecordCount(), 5);

  t->SetQuery("");
  EXPECT_EQ(t->RecordCount(), 6);
  EXPECT_EQ(t->Query(), "");
}

TEST_F(QueryTest, SameResultInNaturalOrder) {
  auto t = OpenRecords("");
  t->SetQuery(CatalogQuery("Disk1"));
  EXPECT_EQ(Keys(*t), (Strings{"Disk1/apple", "Disk1/Banana"}));
  t->SetQuery(CatalogQuery("Disk10"));
  EXPECT_EQ(Keys(*t), (Strings{"Disk10/apricot", "Disk10/banana", "Disk10/cherry"}));
}

TEST_F(QueryTest, QueryGivenToAClosedTableAppliesAtOpen) {
  xbase::Table t(env_);
  t.SetDatabaseName(Folder());
  t.SetTableName("VTLDataA.dbf");
  t.SetIndexTag("CatFlTl");
  t.SetQuery(CatalogQuery("Disk2"));
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1);
  t.First();
  EXPECT_EQ(t.FieldByName("FLTITLE"), "apple pie");
  // It stays through a close and a re-open.
  t.Close();
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1);
}

TEST_F(QueryTest, CatalogNamesOfNineteenAndTwentyCharacters) {
  const std::string n19 = "ABCDEFGHIJKLMNOPQRS";
  const std::string n20 = "ABCDEFGHIJKLMNOPQRST";
  const std::string n18 = "ABCDEFGHIJKLMNOPQR";
  ASSERT_EQ(n19.size(), 19u);
  ASSERT_EQ(n20.size(), 20u);
  AddRecords({{n19, "in 19", "", "", "", ""},
              {n20, "in 20", "", "", "", ""},
              {n18, "in 18", "", "", "", ""},
              {n20, "also in 20", "", "", "", ""}});
  auto t = OpenRecords();
  // The literal is longer than the field: the blanks beyond it match the
  // field's padding, and a longer name never matches a shorter one.
  t->SetQuery(CatalogQuery(n19));
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"in 19"}));
  t->SetQuery(CatalogQuery(n20));
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"also in 20", "in 20"}));
  t->SetQuery(CatalogQuery(n18));
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"in 18"}));
  auto n = OpenRecords("");
  n->SetQuery(CatalogQuery(n19));
  EXPECT_EQ(Column(*n, "FLTITLE"), (Strings{"in 19"}));
  n->SetQuery(CatalogQuery(n20));
  EXPECT_EQ(Column(*n, "FLTITLE"), (Strings{"in 20", "also in 20"}));
}

TEST_F(QueryTest, ExpressionForms) {
  auto t = OpenRecords();
  auto count = [&](const std::string& q) {
    t->SetQuery(q);
    return t->RecordCount();
  };
  // Field names in any case, the three kinds of literal.
  EXPECT_EQ(count("catalog = \"Disk1  \""), 2);
  EXPECT_EQ(count("CATALOG = 'Disk1  '"), 2);
  EXPECT_EQ(count("Catalog = [Disk1  ]"), 2);
  EXPECT_EQ(count("Catalog=\"Disk1  \""), 2);
  // Non-exact: the literal against the start of the padded field.
  EXPECT_EQ(count("FLTitle = \"apple\""), 2);  // apple, apple pie
  EXPECT_EQ(count("FLTITLE = \"apple \""), 2);  // "apple" padded, "apple pie"
  EXPECT_EQ(count("FLTITLE = \"apple  \""), 1);
  EXPECT_EQ(count("FLTITLE = \"ap\""), 3);
  EXPECT_EQ(count("FLTITLE = \"Apple\""), 0) << "letter case counts";
  // upper()
  EXPECT_EQ(count("upper(FLTitle) = \"BANANA\""), 2);
  EXPECT_EQ(count("UPPER(fltitle) = \"AP\""), 3);
  // + joins padded fields.
  EXPECT_EQ(count("Catalog+FLTITLE = \"Disk1" + std::string(15, ' ') + "apple\""), 1);
  EXPECT_EQ(count("Catalog + upper(FLTitle) = \"Disk10" + std::string(14, ' ') + "B\""), 1);
  // .and. / .not.
  EXPECT_EQ(count("Catalog = \"Disk10  \" .and. upper(FLTITLE) = \"B\""), 1);
  EXPECT_EQ(count(".not. Catalog = \"Disk10  \""), 3);
  EXPECT_EQ(count(".NOT. Catalog = \"Disk1\" .and. FLTITLE = \"apple\""), 1);  // apple pie
  EXPECT_EQ(count(".not. DELETED()"), 6);
  EXPECT_EQ(count("DELETED()"), 0);
}

TEST_F(QueryTest, DeletedInAQuery) {
  {
    auto t = OpenRecords("");
    t->First();  // Disk1/apple
    t->Delete();
  }
  env_.SetDeleted(false);
  auto t = OpenRecords("");
  t->SetQuery("DELETED()");
  EXPECT_EQ(Keys(*t), (Strings{"Disk1/apple"}));
  t->SetQuery(".not. DELETED() .and. Catalog = \"Disk1  \"");
  EXPECT_EQ(Keys(*t), (Strings{"Disk1/Banana"}));
  t->SetQuery(CatalogQuery("Disk1"));
  EXPECT_EQ(t->RecordCount(), 2) << "Deleted off: the marked record matches";
  env_.SetDeleted(true);
  EXPECT_EQ(t->RecordCount(), 1) << "Deleted on: invisible to queries";
}

TEST_F(QueryTest, QueryFollowsChangesToTheRecords) {
  auto t = OpenRecords();
  t->SetQuery(CatalogQuery("Disk2"));
  EXPECT_EQ(t->RecordCount(), 1);
  Add(*t, {"Disk2", "banana split", "", "", "", ""});
  EXPECT_EQ(t->RecordCount(), 2);
  EXPECT_EQ(t->FieldByName("FLTITLE"), "banana split");
  // A second cursor changes a record so that it now matches.
  auto o = OpenRecords();
  ASSERT_TRUE(o->Locate("FLTITLE", "cherry"));
  o->Edit();
  o->SetFieldByName("Catalog", "Disk2");
  o->Post();
  EXPECT_EQ(t->RecordCount(), 3);
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"apple pie", "banana split", "cherry"}));
  // ...and deletes one.
  ASSERT_TRUE(o->Locate("FLTITLE", "apple pie"));
  o->Delete();
  EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"banana split", "cherry"}));
}

TEST_F(QueryTest, MalformedExpressionsAreRefusedByName) {
  auto t = OpenRecords();
  t->SetQuery(CatalogQuery("Disk1"));
  for (const std::string bad : {"Catalog = ", "Catalog = \"Disk1", "upper(FLTITLE = \"A\"",
                                "Catalog = \"a\" .and.", ".not.", "= \"x\"",
                                "Catalog \"x\"", "Catalog = [x", "Catalog = 'x",
                                "upper(FLTITLE, Catalog) = \"A\"", "NoSuchField = \"x\"",
                                "Catalog = \"a\" .or", "Catalog = \"a\" )"}) {
    SCOPED_TRACE(bad);
    xbase::Error e = CatchError([&] { t->SetQuery(bad); });
    if (bad.rfind("NoSuchField", 0) == 0)
      EXPECT_TRUE(e.code() == ErrorCode::Expression || e.code() == ErrorCode::NotFound);
    else
      EXPECT_EQ(e.code(), ErrorCode::Expression);
    EXPECT_NE(std::string(e.what()).find(bad), std::string::npos)
        << "message names the expression: " << e.what();
    // The cursor stays usable.
    EXPECT_TRUE(t->Active());
    t->First();
    t->RecordCount();
  }
  t->SetQuery("");
  EXPECT_EQ(t->RecordCount(), 6);
}

TEST_F(QueryTest, MalformedQueryGivenToAClosedTable) {
  xbase::Table t(env_);
  t.SetDatabaseName(Folder());
  t.SetTableName("VTLDataA.dbf");
  xbase::Error e = CatchError([&] {
    t.SetQuery("Catalog = \"x");
    t.Open();
  });
  EXPECT_EQ(e.code(), ErrorCode::Expression);
}

TEST_F(QueryTest, QuoteLiteralRoundTripsAnyName) {
  const Strings names = {"plain",   "say \"hi\"", "it's",   "[x]",     "a]b",
                         "a\"b'c]d", "x]\"'[y",   "\"'[]",   "it",      "say"};
  {
    auto t = OpenRecords();
    for (const auto& n : names) {
      Add(*t, {n, "one of " + n, "", "", "", ""});
      Add(*t, {n, "two of " + n, "", "", "", ""});
    }
  }
  auto t = OpenRecords();
  for (const auto& n : names) {
    SCOPED_TRACE(n);
    const std::string q = "Catalog = " + xbase::QuoteLiteral(n + "  ");
    t->SetQuery(q);
    EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"one of " + n, "two of " + n})) << q;
  }
  // Titles holding quote characters are found by a quoted literal too.
  for (const auto& n : names) {
    SCOPED_TRACE(n);
    t->SetQuery("upper(FLTITLE) = " + xbase::QuoteLiteral(xbase::Utf8Upper("two of " + n) + "  "));
    EXPECT_EQ(Column(*t, "FLTITLE"), (Strings{"two of " + n}));
  }
}

}  // namespace
