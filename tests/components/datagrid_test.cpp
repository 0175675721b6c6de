// The record grid over a real records table: rows in the cursor's order,
// reads that leave the master alone and stay within what is shown, selection
// by record number, title buttons, editing and the new-record row.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cstdio>
#include <memory>

#include "datagrid.h"

namespace {

const char* const kTitle = "FLTITLE";

class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path().toStdString();
    const std::string dbf = folder_ + "/VTLDataA.dbf";
    xbase::CreateTable(dbf, {{"Catalog", 'C', 20, 0},
                             {"FLTITLE", 'C', 80, 0},
                             {"FLNAME", 'C', 255, 0},
                             {"FLSIZE", 'C', 10, 0},
                             {"FLDATE", 'C', 21, 0},
                             {"FLDESC", 'M', 10, 0}});
    xbase::Table t(env_);
    t.SetDatabaseName(folder_);
    t.SetTableName("VTLDataA.dbf");
    t.SetExclusive(true);
    t.Open();
    t.IndexTag(xbase::IndexPathFor(dbf), "CatFlTl", "Catalog+upper(FLTitle)", ".not. DELETED()", false);
    t.Close();
  }

  static std::string Query(const std::string& catalog) { return "Catalog = \"" + catalog + "  \""; }

  std::unique_ptr<xbase::Table> Open(const std::string& catalog = {}) {
    auto t = std::make_unique<xbase::Table>(env_);
    t->SetDatabaseName(folder_);
    t->SetTableName("VTLDataA.dbf");
    t->SetIndexTag("CatFlTl");
    if (!catalog.empty()) t->SetQuery(Query(catalog));
    t->Open();
    return t;
  }

  // Adds records through a cursor of its own; returns their numbers.
  std::vector<uint32_t> Add(const std::string& catalog, const std::vector<std::string>& titles) {
    auto t = Open();
    std::vector<uint32_t> recnos;
    t->BeginBatch();
    for (const auto& title : titles) {
      t->Append();
      t->SetFieldByName("Catalog", catalog);
      t->SetFieldByName(kTitle, title);
      t->Post();
      recnos.push_back(t->RecNo());
    }
    t->EndBatch();
    return recnos;
  }

  // Plays the main window: a row the user chooses becomes the master's.
  void Attach(TRxDBGrid& grid, xbase::Table& master) {
    grid.SetDataSet(&master, {{"FLTITLE", "File Title"}});
    QObject::connect(&grid, &TRxDBGrid::CurrentRowChosen, &grid, [&grid, &master](int row) {
      master.MoveToIndex(row);
      grid.SyncToMaster();
    });
  }

  static void Show(TRxDBGrid& grid, int rows = 12) {
    grid.resize(320, grid.horizontalHeader()->sizeHint().height() + rows * grid.verticalHeader()->defaultSectionSize() + 4);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  }

  static QString Text(TRxDBGrid& grid, int row) { return grid.Model()->index(row, 0).data().toString(); }
  static uint32_t RecNo(TRxDBGrid& grid, int row) {
    return grid.Model()->index(row, 0).data(TRecordGridModel::RecNoRole).toUInt();
  }
  static void Click(TRxDBGrid& grid, int row, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, mods, grid.visualRect(grid.Model()->index(row, 0)).center());
  }

  QTemporaryDir dir_;
  std::string folder_;
  xbase::Environment env_;
};

TEST_F(GridTest, RowsAreTheCatalogInTagOrderAndReadingThemLeavesTheMasterAlone) {
  Add("Disk1", {"beta", "Alpha", "gamma", "alpha2"});
  Add("Disk10", {"aaa"});
  Add("Other", {"zzz"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  QAbstractItemModelTester tester(grid.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  Attach(grid, *master);

  ASSERT_EQ(grid.Model()->rowCount(), 4);
  EXPECT_EQ(Text(grid, 0), "Alpha");
  EXPECT_EQ(Text(grid, 1), "alpha2");
  EXPECT_EQ(Text(grid, 2), "beta");
  EXPECT_EQ(Text(grid, 3), "gamma");
  EXPECT_EQ(grid.Model()->headerData(0, Qt::Horizontal).toString(), "File Title");
  EXPECT_EQ(grid.Model()->headerData(0, Qt::Vertical).toString(), QString::fromUtf8("\u25B6"));
  EXPECT_EQ(grid.Model()->headerData(1, Qt::Vertical).toString(), "");

  master->MoveToIndex(2);
  grid.SyncToMaster();
  EXPECT_EQ(grid.currentIndex().row(), 2);
  const uint32_t at = master->RecNo();
  EXPECT_EQ(RecNo(grid, 2), at);
  // An edit in progress must survive the reads: any move of the master
  // would post or cancel it.
  master->Edit();
  master->SetFieldByName(kTitle, "beta edited");
  int notices = 0;
  master->OnDataChange = [&](const std::string&) { ++notices; };
  master->OnStateChange = [&] { ++notices; };
  grid.Reset();
  Show(grid);
  for (int row = 3; row >= 0; --row) Text(grid, row);
  EXPECT_EQ(master->RecNo(), at);
  EXPECT_EQ(master->GetState(), xbase::State::Edit);
  EXPECT_TRUE(master->Modified());
  EXPECT_EQ(notices, 0);
  EXPECT_EQ(Text(grid, 2), "beta edited");  // the edit buffer
  EXPECT_EQ(grid.Model()->headerData(2, Qt::Vertical).toString(), QString::fromUtf8("\u270E"));
  master->OnDataChange = nullptr;
  master->OnStateChange = nullptr;
}

TEST_F(GridTest, LargeTableReadsOnlyWhatIsShown) {
  std::vector<std::string> titles;
  for (int i = 0; i < 100000; ++i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Title %06d", i);
    titles.emplace_back(buf);
  }
  Add("Big", titles);
  Add("Small", {"x"});
  auto master = Open("Big");
  TRxDBGrid grid;
  Attach(grid, *master);
  Show(grid, 12);
  QApplication::processEvents();

  EXPECT_EQ(grid.Model()->rowCount(), 100000);
  EXPECT_GT(grid.Model()->RowReads(), 0);
  EXPECT_LE(grid.Model()->RowReads(), 16);

  // Jump to the end: one more screenful is read.
  const int64_t before = grid.Model()->RowReads();
  QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
  grid.grab();
  EXPECT_EQ(grid.currentIndex().row(), 99999);
  EXPECT_EQ(master->FieldByName(kTitle), "Title 099999");
  EXPECT_EQ(Text(grid, 99999), "Title 099999");
  EXPECT_LE(grid.Model()->RowReads() - before, 16);
  EXPECT_EQ(Text(grid, 50000), "Title 050000");
}

TEST_F(GridTest, ResetAndSyncFollowTheMastersQuery) {
  Add("Disk1", {"a", "b"});
  Add("Disk10", {"c", "d", "e"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  Attach(grid, *master);
  ASSERT_EQ(grid.Model()->rowCount(), 2);

  master->SetQuery(Query("Disk10"));
  grid.Reset();
  ASSERT_EQ(grid.Model()->rowCount(), 3);
  EXPECT_EQ(Text(grid, 0), "c");
  EXPECT_EQ(grid.currentIndex().row(), 0);

  // A record change alone notices the new query too.
  master->SetQuery(Query("Disk1"));
  master->Last();
  grid.SyncToMaster();
  ASSERT_EQ(grid.Model()->rowCount(), 2);
  EXPECT_EQ(Text(grid, 1), "b");
  EXPECT_EQ(grid.currentIndex().row(), 1);

  // A posted title moves its record; so does one written by another cursor.
  master->First();
  master->Edit();
  master->SetFieldByName(kTitle, "z");
  master->Post();
  grid.SyncToMaster();
  EXPECT_EQ(Text(grid, 0), "b");
  EXPECT_EQ(Text(grid, 1), "z");
  EXPECT_EQ(grid.currentIndex().row(), 1);
  auto other = Open("Disk1");
  other->First();
  other->Edit();
  other->SetFieldByName(kTitle, "zz");
  other->Post();
  grid.SyncToMaster();
  EXPECT_EQ(Text(grid, 0), "z");
  EXPECT_EQ(Text(grid, 1), "zz");
  EXPECT_EQ(grid.currentIndex().row(), 0);
}

TEST_F(GridTest, SelectionByClicksKeepsTheRecordsWhenRowsShift) {
  auto recs = Add("Disk1", {"k0", "k1", "k2", "k3", "k4", "k5", "k6", "k7"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  Attach(grid, *master);
  Show(grid);

  Click(grid, 2);
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[2]}));
  EXPECT_EQ(master->RecNo(), recs[2]);
  Click(grid, 5, Qt::ControlModifier);
  Click(grid, 6, Qt::ControlModifier);
  Click(grid, 2, Qt::ControlModifier);  // toggles it off
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[5], recs[6]}));
  Click(grid, 3, Qt::ShiftModifier);  // from the anchor, row 2, replacing the rest
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[2], recs[3]}));
  Click(grid, 7, Qt::ControlModifier);
  QTest::keyClick(&grid, Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[6], recs[7]}));
  Click(grid, 0, Qt::ControlModifier);
  ASSERT_EQ(grid.SelectedCount(), 3);

  // Records sorted before them push every row down.
  Add("Disk1", {"a1", "a2", "a3"});
  grid.Reset();
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[0], recs[6], recs[7]}));
  EXPECT_EQ(RecNo(grid, 9), recs[6]);
  EXPECT_TRUE(grid.IsSelected(recs[6]));
  EXPECT_FALSE(grid.IsSelected(recs[1]));

  Click(grid, 4);  // a plain click keeps only that record
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[1]}));
}

TEST_F(GridTest, SelectAllAndClearAndOtherCatalogs) {
  auto recs = Add("Disk1", {"c", "a", "b"});
  Add("Disk10", {"z"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  Attach(grid, *master);

  grid.SelectAllRecords();
  EXPECT_EQ(grid.SelectedCount(), 3);
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[1], recs[2], recs[0]}));
  EXPECT_EQ(master->RecNo(), recs[1]);

  // Another catalog shows none of them, though they stay selected.
  master->SetQuery(Query("Disk10"));
  grid.Reset();
  EXPECT_EQ(grid.SelectedCount(), 3);
  EXPECT_TRUE(grid.SelectedRecords().isEmpty());
  grid.ClearSelectedRecords();
  EXPECT_EQ(grid.SelectedCount(), 0);

  master->SetQuery(Query("Empty"));
  grid.Reset();
  grid.SelectAllRecords();
  EXPECT_EQ(grid.SelectedCount(), 0);

  master->SetQuery(Query("Disk1"));
  grid.Reset();
  grid.MultiSelect = false;
  grid.SelectAllRecords();
  EXPECT_EQ(grid.SelectedCount(), 0);
  Show(grid);
  Click(grid, 0);
  Click(grid, 1, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectedRecords(), QList<uint32_t>({recs[2]}));
}

TEST_F(GridTest, TitleButtonsReportTheColumn) {
  Add("Disk1", {"a"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  Attach(grid, *master);
  Show(grid);
  QSignalSpy spy(&grid, &TRxDBGrid::TitleBtnClick);
  QHeaderView* titles = grid.horizontalHeader();
  const QPoint onTitle(titles->sectionViewportPosition(0) + 20, titles->height() / 2);
  QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, onTitle);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0][0].toInt(), 0);
  grid.TitleButtons = false;
  QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, onTitle);
  EXPECT_EQ(spy.count(), 1);
}

TEST_F(GridTest, TheCellIsEditedOnlyOnTheMastersRowWhileEditing) {
  auto recs = Add("Disk1", {"a", "b", "c"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  Attach(grid, *master);
  Show(grid);
  TRecordGridModel* m = grid.Model();
  Click(grid, 1);
  EXPECT_FALSE(m->flags(m->index(1, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(m->setData(m->index(1, 0), "x"));

  // F2, typing and Enter write the edit buffer; Escape drops the cell edit.
  auto typeInCell = [&](const char* text, Qt::Key end) {
    QTest::keyClick(&grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(grid.currentIndex()));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    if (end != Qt::Key_unknown) QTest::keyClick(editor, end);
    QApplication::processEvents();  // Enter commits from the event loop
  };
  master->Edit();
  grid.Reset();
  grid.SetReadOnly(false);
  EXPECT_EQ(m->headerData(1, Qt::Vertical).toString(), QString::fromUtf8("\u270E"));
  // Confirming the cell unchanged leaves the record unmodified.
  typeInCell("b", Qt::Key_Return);
  EXPECT_FALSE(master->Modified());
  EXPECT_TRUE(m->flags(m->index(1, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(m->flags(m->index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(m->setData(m->index(0, 0), "x"));
  EXPECT_TRUE(m->setData(m->index(1, 0), "b1"));
  EXPECT_EQ(master->FieldByName(kTitle), "b1");
  EXPECT_EQ(Text(grid, 1), "b1");
  Click(grid, 1);  // the record being edited: the master must not move
  EXPECT_EQ(master->GetState(), xbase::State::Edit);

  typeInCell("Renamed", Qt::Key_Return);
  EXPECT_EQ(master->FieldByName(kTitle), "Renamed");
  typeInCell("Dropped", Qt::Key_Escape);
  EXPECT_EQ(master->FieldByName(kTitle), "Renamed");
  typeInCell("Committed", Qt::Key_unknown);
  EXPECT_TRUE(grid.CommitCellEdit());
  EXPECT_EQ(master->FieldByName(kTitle), "Committed");
  EXPECT_EQ(master->RecNo(), recs[1]);
  EXPECT_EQ(master->GetState(), xbase::State::Edit);
  // Becoming read-only closes an open editor without writing it.
  typeInCell("Lost", Qt::Key_unknown);
  grid.SetReadOnly(true);
  EXPECT_EQ(grid.indexWidget(grid.currentIndex()), nullptr);
  EXPECT_EQ(master->FieldByName(kTitle), "Committed");

  master->Cancel();
  grid.Reset();
  QTest::keyClick(&grid, Qt::Key_F2);
  EXPECT_EQ(grid.indexWidget(grid.currentIndex()), nullptr);
  EXPECT_EQ(Text(grid, 1), "b");
}

TEST_F(GridTest, InsertShowsTheNewRecordAsTheLastRow) {
  Add("Disk1", {"b", "d"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  QAbstractItemModelTester tester(grid.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  Attach(grid, *master);
  TRecordGridModel* m = grid.Model();

  master->Append();
  master->SetFieldByName("Catalog", "Disk1");
  grid.SyncToMaster();
  ASSERT_EQ(m->rowCount(), 3);
  EXPECT_EQ(grid.currentIndex().row(), 2);
  EXPECT_EQ(m->headerData(2, Qt::Vertical).toString(), QString::fromUtf8("\u2731"));
  EXPECT_EQ(m->index(2, 0).data(TRecordGridModel::RecNoRole).toUInt(), 0u);
  EXPECT_FALSE(m->setData(m->index(0, 0), "x"));
  EXPECT_TRUE(m->setData(m->index(2, 0), "c"));
  EXPECT_EQ(Text(grid, 2), "c");

  master->Post();
  grid.SyncToMaster();
  ASSERT_EQ(m->rowCount(), 3);
  EXPECT_EQ(Text(grid, 1), "c");
  EXPECT_EQ(grid.currentIndex().row(), 1);

  master->Append();
  grid.SyncToMaster();
  master->Cancel();
  grid.SyncToMaster();
  EXPECT_EQ(m->rowCount(), 3);
}

TEST_F(GridTest, KeysChooseRowsAndTheWheelOnlyScrolls) {
  std::vector<std::string> titles;
  for (int i = 0; i < 60; ++i) titles.push_back("r" + std::to_string(100 + i));
  Add("Disk1", titles);
  auto master = Open("Disk1");
  TRxDBGrid grid;
  grid.SetDataSet(master.get(), {{"FLTITLE", "File Title"}});
  Show(grid, 10);
  QSignalSpy chosen(&grid, &TRxDBGrid::CurrentRowChosen);

  // Without an owner that follows, the master stays where it is.
  QTest::keyClick(&grid, Qt::Key_Down);
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen[0][0].toInt(), 1);
  EXPECT_EQ(master->RecordIndex(), 0);

  // With the owner following, the page and end keys.
  QObject::connect(&grid, &TRxDBGrid::CurrentRowChosen, &grid, [&](int row) {
    master->MoveToIndex(row);
    grid.SyncToMaster();
  });
  QTest::keyClick(&grid, Qt::Key_PageDown);
  EXPECT_GT(chosen.last()[0].toInt(), 5);
  EXPECT_EQ(master->RecordIndex(), chosen.last()[0].toInt());
  QTest::keyClick(&grid, Qt::Key_End);
  EXPECT_EQ(chosen.last()[0].toInt(), 59);
  QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(chosen.last()[0].toInt(), 0);
  EXPECT_EQ(master->RecordIndex(), 0);
  QTest::keyClick(&grid, Qt::Key_Up);  // already at the top
  EXPECT_EQ(chosen.count(), 4);

  const int current = grid.currentIndex().row();
  const QPoint at = grid.viewport()->rect().center();
  QWheelEvent wheel(at, grid.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -360), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(grid.viewport(), &wheel);
  EXPECT_GT(grid.verticalScrollBar()->value(), 0);
  EXPECT_EQ(grid.currentIndex().row(), current);
  EXPECT_EQ(chosen.count(), 4);
}

TEST_F(GridTest, TheFileIsFreeForExclusiveUseOnceIdle) {
  Add("Disk1", {"a", "b"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  Attach(grid, *master);
  Show(grid);
  grid.grab();
  QApplication::processEvents();

  // What maintenance does: reopen the table exclusively.
  master->Close();
  master->SetExclusive(true);
  ASSERT_NO_THROW(master->Open());
  grid.Reset();
  EXPECT_EQ(grid.Model()->rowCount(), 2);
  EXPECT_EQ(Text(grid, 0), "");  // no second cursor on an exclusive file
  EXPECT_FALSE(grid.Model()->LastError().isEmpty());
  grid.grab();

  master->Close();
  master->SetExclusive(false);
  master->Open();
  grid.Reset();
  EXPECT_EQ(Text(grid, 0), "a");
  EXPECT_TRUE(grid.Model()->LastError().isEmpty());
}

TEST_F(GridTest, UnknownFieldsAndNoTableShowNothing) {
  Add("Disk1", {"a"});
  auto master = Open("Disk1");
  TRxDBGrid grid;
  grid.SetDataSet(master.get(), {{"NOSUCH", "Missing"}});
  EXPECT_EQ(grid.Model()->rowCount(), 1);
  EXPECT_EQ(Text(grid, 0), "");
  Show(grid);
  grid.SetDataSet(nullptr, {});
  EXPECT_EQ(grid.Model()->rowCount(), 0);
  grid.SyncToMaster();
  grid.SelectAllRecords();
  EXPECT_EQ(grid.SelectedCount(), 0);
  grid.grab();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
