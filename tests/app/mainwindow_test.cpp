// The main window as a user meets it: catalogs as tabs, the counters, the
// detail panel and its file check, commands following the edit state and
// the current record's file, the title jump, the status bar and the
// settings kept between runs. Runs under the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QListWidget>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTableView>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../browse/damaged_records.h"
#include "addtocatalog.h"
#include "catalogform.h"
#include "filelist.h"
#include "multifiles.h"
#include "foldertree.h"
#include "folderrecords.h"
#include "createdb.h"
#include "datafiles.h"
#include "datagrid.h"
#include "datamodule.h"
#include "catalogtabs.h"
#include "mainwindow.h"
#include "mainwindowservices.h"
#include "recordcommands.h"
#include "recordpanel.h"
#include "reportcommands.h"
#include "statuspanels.h"
#include "pathlabel.h"
#include "prompts.h"
#include "searchform.h"
#include "searchmatch.h"
#include "settings.h"

namespace {

// A widget of a dialog, by its given name.
template <class T>
T* Child(const QWidget* dialog, const char* name) {
  T* found = dialog->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

using Rec = testsupport::RecordRow;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    data_ = dir_.path() + "/data";
    files_ = dir_.path() + "/files";
    QDir().mkpath(data_);
    QDir().mkpath(files_);
    // Settings go to a file of this test only.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings("Brannock", "Vantrell").clear();
    prompts::SetCurrent(&scripted_);
    auto result = store::CreateDatabaseFiles(data_);
    ASSERT_TRUE(result.ok());
  }

  void TearDown() override {
    window_.reset();
    dm_.reset();
    prompts::SetCurrent(nullptr);
  }

  QString MakeFile(const QString& name) {
    QString p = files_ + "/" + name;
    QDir().mkpath(QFileInfo(p).path());
    QFile f(p);
    f.open(QIODevice::WriteOnly);
    f.write("x");
    return p;
  }

  void AddRecords(const std::vector<Rec>& recs) { testsupport::AddRecords(data_, recs); }

  void AddCatalogs(int n) {
    xbase::Environment env;
    xbase::Table names(env);
    names.SetDatabaseName(store::EnginePath(data_));
    names.SetTableName(store::kCatalogTable);
    names.Open();
    for (int i = 0; i < n; ++i) {
      names.Append();
      names.SetFieldByName("Catalog", QString("Cat %1").arg(i, 2, 10, QChar('0')).toStdString());
      names.Post();
    }
  }

  TfrmVantrell& Open(bool show = true) {
    dm_ = std::make_unique<TDataModule1>();
    dm_->DataModule1Create(data_);
    window_ = std::make_unique<TfrmVantrell>(*dm_, data_);
    if (show) window_->show();
    return *window_;
  }

  void Reopen() {
    window_->close();
    window_.reset();
    dm_.reset();
    Open();
  }

  // The window's widgets, found by their given names.
  template <class T>
  T* Get(const char* name) const {
    T* found = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QToolButton* Button(const char* name) const { return Get<QToolButton>(name); }
  QAction* Action(const char* name) const { return Get<QAction>(name); }
  QLabel* Label(const char* name) const { return Get<QLabel>(name); }

  // Waits, through the event loop, for the file check of the current record.
  void Settle() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->RecordPanel().FileCheckPending(); }, 5000));
  }

  QStringList Tabs() const {
    QStringList out;
    for (int i = 0; i < Get<QTabBar>("TabControl1")->count(); ++i) out << Get<QTabBar>("TabControl1")->tabText(i);
    return out;
  }

  QTemporaryDir dir_;
  QString data_, files_;
  prompts::ScriptedPrompts scripted_;
  std::unique_ptr<TDataModule1> dm_;
  std::unique_ptr<TfrmVantrell> window_;
};

TEST_F(MainWindowTest, FirstStartShowsOneEmptyCatalogTemporary) {
  TfrmVantrell& w = Open();
  EXPECT_EQ(Tabs(), QStringList{"Temporary"});
  EXPECT_EQ(dm_->ApTable2.RecordCount(), 1);
  EXPECT_EQ(Label("Label6")->text(), "0");
  EXPECT_EQ(Label("Label4")->text(), "0");
  EXPECT_TRUE(Get<TFileLabel>("FileLabel1")->path().isEmpty());
  EXPECT_TRUE(Label("Label8")->text().isEmpty());
  EXPECT_TRUE(w.StatusText(0).isEmpty());
  // Nothing missing was seen: the file commands stay available; no zip.
  EXPECT_TRUE(Button("sbtnRunApp")->isEnabled());
  EXPECT_TRUE(Action("mnuFlCopy")->isEnabled());
  EXPECT_FALSE(Button("sbtnZipArch")->isEnabled());
  EXPECT_TRUE(Button("sbtnAdd")->isEnabled());
  EXPECT_EQ(w.StatusText(2), "Browse mode...");
  EXPECT_EQ(w.windowTitle(), "Vantrell");
}

TEST_F(MainWindowTest, TabsFollowTheCatalogNamesAndCountersTheRecords) {
  AddRecords({{"Disk10", "ten", "/nowhere/a"},
              {"Disk1", "one b", "/nowhere/b"},
              {"Disk1", "one a", "/nowhere/c"},
              {"Archive", "arch", "/nowhere/d"}});
  TfrmVantrell& w = Open();
  EXPECT_EQ(Tabs(), (QStringList{"Archive", "Disk1", "Disk10"}));
  EXPECT_EQ(Label("Label4")->text(), "4");
  EXPECT_EQ(Label("Label6")->text(), "1");
  w.Catalogs().SelectTab(1);
  EXPECT_EQ(Label("Label6")->text(), "2");  // Disk1 does not take Disk10's record
  EXPECT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "one a");
  EXPECT_EQ(Get<TRxDBGrid>("RxDBGrid1")->model()->rowCount(), 2);
  w.Catalogs().SelectTab(2);
  EXPECT_EQ(Label("Label6")->text(), "1");
  EXPECT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "ten");
  // The labels show the data module's counts: whoever changes them there
  // is seen at once.
  EXPECT_EQ(w.Services().CurrentCatalog(), "Disk10");
  EXPECT_EQ(dm_->Counts.Catalog(), 1);
  dm_->Counts.SetTotal(dm_->Counts.Total() + 2);
  EXPECT_EQ(Label("Label4")->text(), "6");
}

TEST_F(MainWindowTest, AtMostFortyCatalogsBecomeTabs) {
  AddCatalogs(45);
  Open();
  ASSERT_EQ(Get<QTabBar>("TabControl1")->count(), 40);
  EXPECT_EQ(Get<QTabBar>("TabControl1")->tabText(0), "Cat 00");
  EXPECT_EQ(Get<QTabBar>("TabControl1")->tabText(39), "Cat 39");
  EXPECT_FALSE(Action("mnuAddCat")->isEnabled());
}

TEST_F(MainWindowTest, DefaultCatalogIsSelectedAtStart) {
  AddRecords({{"Alpha", "a", "/x/a"}, {"Beta", "b", "/x/b"}, {"Gamma", "g1", "/x/g"}, {"Gamma", "g2", "/x/h"}});
  {
    TSettings s;
    s.WriteString("FormOps", "DFTab", "Gamma");
  }
  TfrmVantrell& w = Open();
  EXPECT_EQ(w.Catalogs().CurrentCatalog(), "Gamma");
  EXPECT_EQ(Label("Label6")->text(), "2");
  // A default naming no tab selects the first.
  w.Services().Settings().WriteString("FormOps", "DFTab", "Nothing");
  Reopen();
  EXPECT_EQ(window_->Catalogs().CurrentCatalog(), "Alpha");
}

TEST_F(MainWindowTest, SetDefaultCatalogWritesTheSelectedTab) {
  AddRecords({{"Alpha", "a", "/x/a"}, {"Beta", "b", "/x/b"}});
  TfrmVantrell& w = Open();
  w.Catalogs().SelectTab(1);
  Action("mnuSetDefCat")->trigger();
  EXPECT_EQ(TSettings().ReadString("FormOps", "DFTab", ""), "Beta");
  Reopen();
  EXPECT_EQ(window_->Catalogs().CurrentCatalog(), "Beta");
}

TEST_F(MainWindowTest, DetailPanelTellsWhetherTheFileIsOnDisk) {
  QString present = MakeFile("here.txt");
  AddRecords({{"C", "a present", present, "12,345"}, {"C", "b missing", files_ + "/gone.txt", ""}});
  TfrmVantrell& w = Open();
  Settle();
  xbase::Table& t = dm_->ApTable1;
  ASSERT_EQ(t.FieldByName("FLTITLE"), "a present");
  EXPECT_EQ(Get<TFileLabel>("FileLabel1")->path(), present);
  EXPECT_EQ(Label("Label8")->text(), "12,345 bytes");
  EXPECT_EQ(Label("dbtxtCreated")->text(), "12/03/2019 14:22:05");
  EXPECT_TRUE(w.RecordPanel().FilePresent());
  EXPECT_TRUE(Button("sbtnRunApp")->isEnabled());
  EXPECT_TRUE(Action("mnuFlRename")->isEnabled());
  EXPECT_TRUE(w.StatusText(0).isEmpty());
  EXPECT_EQ(Get<QFrame>("Panel3")->palette().color(QPalette::WindowText), QColor(0, 0, 128));

  t.Next();
  // The file commands wait for the check's answer; the panel gets it later.
  EXPECT_FALSE(Button("sbtnRunApp")->isEnabled());
  Settle();
  EXPECT_EQ(t.FieldByName("FLTITLE"), "b missing");
  EXPECT_FALSE(w.RecordPanel().FilePresent());
  EXPECT_EQ(w.StatusText(0), "File not found.");
  EXPECT_TRUE(Label("Label8")->text().isEmpty());  // no size: no " bytes"
  EXPECT_EQ(Get<QFrame>("Panel3")->palette().color(QPalette::WindowText), QColor(128, 0, 0));
  for (QAction* a : {Action("mnuFlCopy"), Action("mnuFlMove"), Action("mnuFlDelete"), Action("mnuFlRename"), Action("mnuCreateDir"), Action("mnuRunApp")})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_FALSE(Button("sbtnRunApp")->isEnabled());
  // Record commands are never disabled by a missing file.
  EXPECT_TRUE(Button("sbtnEdit")->isEnabled());

  t.Prior();
  Settle();
  EXPECT_TRUE(Button("sbtnRunApp")->isEnabled());
  EXPECT_TRUE(w.StatusText(0).isEmpty());
}

TEST_F(MainWindowTest, ZipCommandNeedsAZipPathWhoseFileIsThere) {
  QString inFolder = MakeFile("old.zip.files/a.txt");
  QString capitals = MakeFile("BACKUP.ZIP");
  AddRecords({{"Z", "1 folder", inFolder}, {"Z", "2 capitals", capitals}, {"Z", "3 missing", files_ + "/no.zip"},
              {"Z", "4 plain", MakeFile("plain.txt")}});
  Open();
  Settle();
  xbase::Table& t = dm_->ApTable1;
  EXPECT_TRUE(Button("sbtnZipArch")->isEnabled());
  EXPECT_TRUE(Action("mnuVuZip")->isEnabled());
  t.Next();
  // While the next archive's check runs, the zip commands wait for it.
  EXPECT_FALSE(Button("sbtnZipArch")->isEnabled());
  Settle();
  EXPECT_TRUE(Button("sbtnZipArch")->isEnabled());
  t.Next();
  Settle();
  EXPECT_FALSE(Button("sbtnZipArch")->isEnabled());
  t.Next();
  Settle();
  EXPECT_FALSE(Action("mnuVuZip")->isEnabled());
}

TEST_F(MainWindowTest, EditStateSwitchesTheCommandGroups) {
  AddRecords({{"C", "title", MakeFile("f.txt"), "1", "d", "description"}});
  TfrmVantrell& w = Open();
  xbase::Table& t = dm_->ApTable1;
  EXPECT_FALSE(Button("sbtnSave")->isEnabled());
  EXPECT_TRUE(Button("sbtnFind")->isEnabled());
  EXPECT_TRUE(Get<QPlainTextEdit>("DBMemo1")->isReadOnly());
  EXPECT_TRUE(Get<TRxDBGrid>("RxDBGrid1")->ReadOnly());
  EXPECT_EQ(Get<QPlainTextEdit>("DBMemo1")->toPlainText(), "description");

  Button("sbtnEdit")->setChecked(true);
  t.Edit();
  EXPECT_EQ(w.StatusText(2), "Edit mode...");
  for (QToolButton* b : {Button("sbtnSave"), Button("sbtnClrCRLF"), Button("sbtnRemExtraSpcs")}) EXPECT_TRUE(b->isEnabled());
  for (QAction* a : {Action("mnuRecSave"), Action("mnuClrCrLf"), Action("mnuRemExtraSpc")}) EXPECT_TRUE(a->isEnabled());
  EXPECT_FALSE(Button("sbtnFind")->isEnabled());
  EXPECT_FALSE(Action("mnuSearch")->isEnabled());
  EXPECT_FALSE(Button("sbtnZipArch")->isEnabled());
  EXPECT_FALSE(Get<QPlainTextEdit>("DBMemo1")->isReadOnly());
  EXPECT_FALSE(Get<TRxDBGrid>("RxDBGrid1")->ReadOnly());
  EXPECT_TRUE(Button("sbtnEdit")->isChecked());  // latched buttons stay down while editing

  // Typing in the memo goes to the record being edited.
  Get<QPlainTextEdit>("DBMemo1")->setPlainText("new text");
  EXPECT_EQ(t.FieldByName("FLDESC"), "new text");
  t.Cancel();
  EXPECT_EQ(w.StatusText(2), "Browse mode...");
  EXPECT_FALSE(Button("sbtnSave")->isEnabled());
  EXPECT_TRUE(Button("sbtnFind")->isEnabled());
  EXPECT_TRUE(Get<QPlainTextEdit>("DBMemo1")->isReadOnly());
  EXPECT_FALSE(Button("sbtnEdit")->isChecked());
  EXPECT_EQ(Get<QPlainTextEdit>("DBMemo1")->toPlainText(), "description");
}

// Edit, Save and the release of Edit as the user meets them: the status
// text of a save, the counters, a record without a file never stored.
TEST_F(MainWindowTest, EditSaveAndCancel) {
  AddRecords({{"C", "title", files_ + "/gone/report.txt"}});  // a file no longer there
  AddCatalogs(1);  // "Cat 00", empty
  TfrmVantrell& w = Open();
  w.Catalogs().SelectTab(Tabs().indexOf("C"));
  xbase::Table& t = dm_->ApTable1;

  Button("sbtnEdit")->click();
  ASSERT_EQ(t.GetState(), xbase::State::Edit);
  EXPECT_TRUE(Button("sbtnEdit")->isChecked());
  t.SetFieldByName("FLTITLE", "changed");
  Button("sbtnSave")->click();
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  Settle();  // the file check of the record shown again keeps to its own panel
  EXPECT_EQ(w.StatusText(0), " Saved...Edited...report.txt");
  EXPECT_FALSE(Button("sbtnEdit")->isChecked());
  EXPECT_EQ(Label("Label6")->text(), "1");

  // The menu's Edit, then the button released: the change goes.
  Action("mnuRecEdit")->trigger();
  ASSERT_EQ(t.GetState(), xbase::State::Edit);
  Action("mnuRecEdit")->trigger();  // pressing it again keeps the edit
  ASSERT_EQ(t.GetState(), xbase::State::Edit);
  t.SetFieldByName("FLTITLE", "dropped");
  Button("sbtnEdit")->click();
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "changed");

  // Edit on an empty catalog starts a new record; without a file it is
  // never stored.
  w.Catalogs().SelectTab(Tabs().indexOf("Cat 00"));
  Button("sbtnEdit")->click();
  EXPECT_EQ(t.GetState(), xbase::State::Insert);
  Action("mnuRecSave")->trigger();
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_EQ(Label("Label6")->text(), "0");
  EXPECT_EQ(Label("Label4")->text(), "1");
  Reopen();
  EXPECT_EQ(dm_->ApTable1.RecordCount(), 1);

  // A save while the table file is moved away is written (the program
  // holds the file open); the list that cannot be read afterwards says it
  // is the list.
  window_->Catalogs().SelectTab(Tabs().indexOf("C"));
  Button("sbtnEdit")->click();
  dm_->ApTable1.SetFieldByName("FLTITLE", "while away");
  const QString table = store::DataFilePath(data_, store::kRecordsTable);
  ASSERT_TRUE(QFile::rename(table, table + ".away"));
  scripted_.Clear();
  Button("sbtnSave")->click();
  EXPECT_EQ(window_->StatusText(0), " Saved...Edited...report.txt");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scripted_.Texts().isEmpty(); }, 2000));
  EXPECT_TRUE(scripted_.Last().text.startsWith("The list of records could not be read: ")) << scripted_.Last().text.toStdString();
  ASSERT_TRUE(QFile::rename(table + ".away", table));
  Reopen();
  EXPECT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "while away");
}

// Double-clicking the path while editing replaces the record's file: its
// path, size and date come from the file chosen in the add-files dialog.
TEST_F(MainWindowTest, RecordFileIsReplacedFromTheAddFilesDialog) {
  AddRecords({{"C", "title", "/x/old.txt"}});
  const QString chosen = MakeFile("new file.txt");
  TfrmVantrell& w = Open();
  xbase::Table& t = dm_->ApTable1;
  auto* label = Get<TFileLabel>("FileLabel1");
  emit label->doubleClicked();  // in Browse: nothing happens
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  Button("sbtnEdit")->click();
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TfrmAddToCatalog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Select the file that will replace the current file.");
    Child<Tdirtree>(dialog, "dirtree1")->SetDirectory(files_);
    TRzFileListBox* list = Child<TRzFileListBox>(dialog, "RzFileListBox1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->Loaded() && list->model()->rowCount(list->rootIndex()) == 1; }, 5000));
    const QModelIndex file = list->model()->index(0, 0, list->rootIndex());
    list->setCurrentIndex(file);
    list->selectionModel()->select(file, QItemSelectionModel::ClearAndSelect);
    Child<QToolButton>(dialog, "sbtnSave")->click();
  });
  // The double-click as the label reports it: a test's synthetic mouse
  // buttons would stay down for the tests after it.
  emit label->doubleClicked();
  EXPECT_EQ(t.GetState(), xbase::State::Edit);
  EXPECT_EQ(t.FieldByName("FLNAME"), chosen.toStdString());
  EXPECT_EQ(t.FieldByName("FLSIZE"), "1");
  EXPECT_FALSE(t.FieldByName("FLDATE").empty());
  Settle();
  EXPECT_EQ(w.StatusText(0), " Changing to...new file.txt");
  EXPECT_EQ(label->path(), chosen);
  Button("sbtnSave")->click();
  EXPECT_EQ(t.FieldByName("FLNAME"), chosen.toStdString());
}

// Matching as the search does it: letters of either case alike by Unicode
// case folding, anywhere in the text; an empty text occurs nowhere.
TEST(SearchMatch, FoldsCaseOfEveryScript) {
  const search::TextMatcher report("REPORT");
  for (const char* hit : {"report", "Report notes", "MY REPORT", "\xc3\x84rger-Report"}) EXPECT_TRUE(report(hit)) << hit;
  EXPECT_FALSE(report("repor t"));
  EXPECT_TRUE(search::TextMatcher(QString::fromUtf8("\xce\x9f\xce\x94\xce\x9f\xce\xa3"))("\xce\xbf\xce\xb4\xce\xbf\xcf\x82"))
      << "ΟΔΟΣ finds οδος with its final sigma";
  EXPECT_TRUE(search::TextMatcher(QString::fromUtf8("\xc3\x9c" "BER"))("/m\xc3\xbc" "ber/x"));
  EXPECT_TRUE(search::TextMatcher(QString::fromUtf8("\xe2\x84\xaa"))("kilo")) << "the Kelvin sign is a k";
  EXPECT_TRUE(search::TextMatcher(QString::fromUtf8("\xef\xbd\x81"))("\xef\xbc\xa1")) << "full-width letters";
  EXPECT_FALSE(search::TextMatcher("")("anything"));
  EXPECT_TRUE(search::TextMatcher("\"it's\"")("say \"It's\" [x]"));
}

// The search window: both fields, every catalog, a second search replacing
// the first, the empty text, and a double-click showing that very record
// (another of the same catalog has the same title) while the search stays.
TEST_F(MainWindowTest, SearchFindsInEveryCatalogAndShowsTheHit) {
  AddRecords({{"A", "report", "/data/a/1.txt"},
              {"A", "report", "/data/a/2.txt"},
              {"A", "report extra", "/other/3.txt"},
              {"B \"quoted\"", "MY REPORT", "/data/b/4.txt"},
              {"C", "notes", "/c/DATA/5.txt"}});
  TfrmVantrell& w = Open();
  xbase::Table& t = dm_->ApTable1;
  bool ran = false;
  QTimer::singleShot(0, [&] {
    auto* form = qobject_cast<TfrmSearch*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Search ");
    auto* grid = Child<QTableView>(form, "StringGrid1");
    QAbstractItemModel* results = grid->model();
    const auto cell = [&](int row, int column) { return results->index(row, column).data().toString(); };
    EXPECT_TRUE(Child<QRadioButton>(form, "RadioButton1")->isChecked());
    EXPECT_EQ(results->rowCount(), 10);
    EXPECT_EQ(Child<QLabel>(form, "Label3")->text(), "");
    const auto search = [&](const QString& text) {
      Child<QLineEdit>(form, "Edit1")->setText(text);
      Child<QToolButton>(form, "sbtnSearch")->click();
      return Child<QLabel>(form, "Label3")->text();
    };
    EXPECT_EQ(search("data"), "4") << "the whole path, every catalog, letter case aside";
    EXPECT_EQ(cell(0, 3), "/data/a/1.txt");
    EXPECT_EQ(cell(2, 1), "B \"quoted\"");
    EXPECT_EQ(cell(3, 5), "12/03/2019 14:22:05");
    Child<QRadioButton>(form, "RadioButton2")->click();
    EXPECT_EQ(search("REPORT"), "4");
    EXPECT_EQ(search("extra"), "1");
    EXPECT_EQ(results->rowCount(), 1) << "nothing of the search before stays";
    EXPECT_EQ(search(""), "0");
    EXPECT_EQ(results->rowCount(), 1);
    EXPECT_EQ(cell(0, 2), "");

    // The second "report" of A: that record shows, not the first.
    EXPECT_EQ(search("report"), "4");
    ASSERT_EQ(cell(1, 3), "/data/a/2.txt");
    grid->setCurrentIndex(results->index(1, 2));
    form->StringGrid1DblClick();
    EXPECT_EQ(w.Catalogs().CurrentCatalog(), "A");
    EXPECT_EQ(t.FieldByName("FLNAME"), "/data/a/2.txt");
    grid->setCurrentIndex(results->index(3, 2));
    form->StringGrid1DblClick();
    EXPECT_EQ(w.Catalogs().CurrentCatalog(), "B \"quoted\"");
    EXPECT_EQ(t.FieldByName("FLNAME"), "/data/b/4.txt");
    EXPECT_TRUE(form->isVisible()) << "the search stays open";
    ran = true;
    Child<QToolButton>(form, "sbtnExit")->click();
  });
  Action("mnuSearch")->trigger();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(dm_->ApTable3.Active()) << "closed with the window";
}

// Both reports from the window to a PDF file: every record of the shown
// catalog (a name with quotes included), the record report of the current
// record, the window's record the same afterwards, and nothing at all for
// an empty catalog.
TEST_F(MainWindowTest, ReportsPrintTheShownCatalogAndRecord) {
  const QString there = MakeFile("there.txt");
  AddRecords({{"Say \"hi\"", "First title", there, "1", "12/03/2019 14:22:05", "The description."},
              {"Say \"hi\"", "Second title", files_ + "/gone.txt"},
              {"Other", "Not in the report", "/x"}});
  AddCatalogs(1);
  TfrmVantrell& w = Open();
  w.Catalogs().SelectTab(Tabs().indexOf("Say \"hi\""));
  xbase::Table& t = dm_->ApTable1;
  t.Last();
  const uint32_t shown = t.RecNo();
  const auto text = [](const QString& pdf) {
    QProcess p;
    p.start("pdftotext", {"-layout", pdf, "-"});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
  };
  const QString catalogPdf = dir_.path() + "/catalog.pdf", recordPdf = dir_.path() + "/record.pdf";
  for (report::TReportSystem* s : {&w.Reports().ReportSystem1, &w.Reports().ReportSystem2}) {
    s->askSetup = false;
    s->destination = report::Destination::File;
  }
  w.Reports().ReportSystem1.fileName = catalogPdf;
  w.Reports().ReportSystem2.fileName = recordPdf;
  Action("mnuCatRpt")->trigger();
  const QString catalog = text(catalogPdf);
  EXPECT_TRUE(catalog.contains("Say \"hi\"")) << catalog.toStdString();
  EXPECT_TRUE(catalog.contains("First title"));
  EXPECT_TRUE(catalog.contains("Second title"));
  EXPECT_TRUE(catalog.contains("The description."));
  EXPECT_FALSE(catalog.contains("Not in the report"));
  EXPECT_EQ(w.Reports().ReportSystem1.Pages(), 2) << "Full: a page for each record";
  EXPECT_EQ(t.RecNo(), shown);
  EXPECT_FALSE(dm_->ApTable3.Active());

  Action("mnuRecRpt")->trigger();
  const QString record = text(recordPdf);
  EXPECT_TRUE(record.contains("Second title"));
  EXPECT_FALSE(record.contains("First title"));
  EXPECT_EQ(t.RecNo(), shown);

  w.Catalogs().SelectTab(Tabs().indexOf("Cat 00"));
  QFile::remove(catalogPdf);
  Action("mnuCatRpt")->trigger();
  EXPECT_FALSE(QFile::exists(catalogPdf)) << "an empty catalog makes no report";
}

// Runs `act` on the batch form once it is up.
void OnBatchForm(const std::function<void(TfrmMultiFiles&)>& act) {
  QTimer::singleShot(0, [act] {
    auto* form = qobject_cast<TfrmMultiFiles*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    act(*form);
  });
}

// Add, move and delete of many records through the batch form: the list it
// shows, exactly the selected records acted on (titles shared or not), the
// counters, a vanished file left out, Exit changing nothing.
TEST_F(MainWindowTest, BatchesAddMoveAndDeleteTheChosenRecords) {
  AddRecords({{"A", "same", "/x/1"}, {"A", "same", "/x/2"}, {"A", "other", "/x/3"}, {"B", "b", "/x/4"}});
  const QString keep = MakeFile("pick/one.txt"), gone = MakeFile("pick/two.txt");
  MakeFile("pick/three.txt");
  TfrmVantrell& w = Open();
  w.Catalogs().SelectTab(Tabs().indexOf("A"));
  xbase::Table& t = dm_->ApTable1;
  auto* grid = Get<TRxDBGrid>("RxDBGrid1");

  // Add: the files chosen in the dialog; one vanishes before the pass.
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TfrmAddToCatalog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Select the file that you want to ADD. ");
    Child<Tdirtree>(dialog, "dirtree1")->SetDirectory(files_ + "/pick");
    TRzFileListBox* list = Child<TRzFileListBox>(dialog, "RzFileListBox1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->Loaded() && list->model()->rowCount(list->rootIndex()) == 3; }, 5000));
    list->selectAll();
    OnBatchForm([&](TfrmMultiFiles& form) {
      EXPECT_EQ(form.windowTitle(), "Add records to");
      EXPECT_EQ(Child<TTextListBox>(&form, "TextListBox1")->count(), 3);
      QFile::remove(gone);
      Child<QToolButton>(&form, "sbtnDM")->click();
    });
    Child<QToolButton>(dialog, "sbtnSave")->click();
  });
  Action("mnuRecAdd")->trigger();
  EXPECT_EQ(Label("Label6")->text(), "5");
  EXPECT_EQ(Label("Label4")->text(), "6");
  EXPECT_EQ(w.StatusText(0), "Add complete.... ");
  EXPECT_TRUE(scripted_.Last().text.startsWith("1 file was not added:\ntwo.txt: it is no longer there"));
  EXPECT_EQ(t.GetState(), xbase::State::Edit) << "the record added last is open for editing";
  EXPECT_EQ(t.FieldByName("FLTITLE"), "new record ~~~~ three.txt");
  t.Cancel();

  // Move exactly the second of two records titled "same".
  grid->ClearSelectedRecords();
  Action("mnuMove")->trigger();  // nothing selected: a box, no form
  EXPECT_EQ(scripted_.Last().text, "No records are selected.");
  const auto select = [&](const char* path) {
    ASSERT_TRUE(t.Locate("FLNAME", path));
    QTest::keyClick(grid, Qt::Key_Space, Qt::ControlModifier);
    ASSERT_EQ(grid->SelectedRecords(), QList<uint32_t>{t.RecNo()});
  };
  select("/x/2");
  OnBatchForm([&](TfrmMultiFiles& form) {
    EXPECT_EQ(Child<TTextListBox>(&form, "TextListBox1")->count(), 1);
    EXPECT_EQ(Child<QComboBox>(&form, "cbMove")->count(), 1) << "every catalog but the shown one";
    EXPECT_EQ(Child<QComboBox>(&form, "cbMove")->currentText(), "B");
    Child<QComboBox>(&form, "cbMove")->setEditText("Nope");  // a name that is no catalog: refused, the form stays
    Child<QToolButton>(&form, "sbtnDM")->click();
    EXPECT_EQ(scripted_.Last().text, "\"Nope\" is not a catalog. Choose one of the list.");
    EXPECT_TRUE(form.isVisible());
    Child<QComboBox>(&form, "cbMove")->setCurrentIndex(0);
    Child<QToolButton>(&form, "sbtnDM")->click();
  });
  Action("mnuMove")->trigger();
  EXPECT_EQ(Label("Label6")->text(), "4");
  EXPECT_EQ(Label("Label4")->text(), "6");
  EXPECT_EQ(grid->SelectedCount(), 0);
  EXPECT_FALSE(t.Locate("FLNAME", "/x/2"));
  ASSERT_TRUE(t.Locate("FLNAME", "/x/1")) << "the other record of that title stays";

  // Exit changes nothing; Delete then takes the selected record only.
  select("/x/1");
  OnBatchForm([&](TfrmMultiFiles& form) { Child<QToolButton>(&form, "sbtnCancel")->click(); });
  Action("mnuRecDel")->trigger();
  EXPECT_EQ(Label("Label6")->text(), "4");
  ASSERT_TRUE(t.Locate("FLNAME", "/x/1"));
  select("/x/1");
  OnBatchForm([&](TfrmMultiFiles& form) {
    EXPECT_EQ(form.windowTitle(), "Delete records from");
    Child<QToolButton>(&form, "sbtnDM")->click();
  });
  Action("mnuRecDel")->trigger();
  EXPECT_EQ(Label("Label6")->text(), "3");
  EXPECT_EQ(Label("Label4")->text(), "5");
  EXPECT_FALSE(t.Locate("FLNAME", "/x/1"));

  // A delete that empties the catalog tells its end all the same.
  Action("mnuSelAll")->trigger();
  OnBatchForm([&](TfrmMultiFiles& form) { Child<QToolButton>(&form, "sbtnDM")->click(); });
  Action("mnuRecDel")->trigger();
  Settle();
  EXPECT_EQ(Label("Label6")->text(), "0");
  EXPECT_EQ(w.StatusText(0), "Delete complete.... ");
  Reopen();
  EXPECT_EQ(Label("Label4")->text(), "2") << "the counters were the engine's counts";
}

// The clean-up commands change a description only while it is edited;
// Ctrl+C copies the selection single-line in Browse as in Edit.
TEST_F(MainWindowTest, DescriptionCleanUpAndCleanCopy) {
  AddRecords({{"C", "title", "/x/a", "1", "d", "alpha\nbeta   gamma"},
              {"C", "windows", "/x/b", "1", "d", QString::fromUtf8("end.\r\n\r\nNext\u00a0a\rb")}});
  Open();
  auto* memo = Get<QPlainTextEdit>("DBMemo1");
  xbase::Table& t = dm_->ApTable1;
  ASSERT_EQ(memo->toPlainText(), "alpha\nbeta   gamma");

  memo->selectAll();
  QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "alpha beta gamma");
  QTest::keyClick(memo, Qt::Key_Space, Qt::ControlModifier);
  EXPECT_EQ(memo->toPlainText(), "alpha\nbeta   gamma") << "a description in Browse stays as stored";

  Button("sbtnEdit")->click();
  memo->selectAll();
  Button("sbtnClrCRLF")->click();
  EXPECT_EQ(memo->toPlainText(), "alpha beta   gamma");
  Action("mnuRemExtraSpc")->trigger();  // the cleaned text is still selected
  EXPECT_EQ(memo->toPlainText(), "alpha beta gamma");
  memo->setPlainText("x\n\ny  z");
  memo->selectAll();
  QTest::keyClick(memo, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(memo->toPlainText(), "x  y  z");
  QTest::keyClick(memo, Qt::Key_Space, Qt::ControlModifier);
  EXPECT_EQ(memo->toPlainText(), "x y z");
  Button("sbtnSave")->click();
  EXPECT_EQ(t.FieldByName("FLDESC"), "x y z");

  // A description from Windows keeps its CR LF where the user typed
  // nothing, and new lines take the same form; Remove CR/LF removes a lone
  // CR (the words join). A no-break space stays one.
  const std::string nbsp = "\xC2\xA0";
  ASSERT_TRUE(t.Locate("FLNAME", "/x/b"));
  Button("sbtnEdit")->click();
  memo->moveCursor(QTextCursor::End);
  QTest::keyClicks(memo, "X");
  QTest::keyClick(memo, Qt::Key_Return);
  Button("sbtnSave")->click();
  EXPECT_EQ(t.FieldByName("FLDESC"), "end.\r\n\r\nNext" + nbsp + "a\rbX\r\n");
  Button("sbtnEdit")->click();
  memo->selectAll();
  Button("sbtnClrCRLF")->click();
  Button("sbtnSave")->click();
  EXPECT_EQ(t.FieldByName("FLDESC"), "end.  Next" + nbsp + "abX ");
}

// The Catalog menu's form, filled in and pressed as a user would; `steps`
// are (text typed, button pressed) in turn, the form staying open between.
// Returns the form's prompt and what the edit box took of the last text.
std::pair<QString, QString> UseCatalogForm(QAction* command, const std::vector<std::pair<QString, const char*>>& steps) {
  std::pair<QString, QString> seen;
  QTimer::singleShot(0, [steps, &seen] {
    auto* form = qobject_cast<browse::TfrmCatalog*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    seen.first = form->promptLabel->text();
    for (const auto& [text, button] : steps) {
      if (form->nameEdit->isEnabled()) form->nameEdit->setText(text);
      seen.second = form->nameEdit->text();
      form->findChild<QToolButton*>(button)->click();
    }
    if (form->isVisible()) form->reject();
  });
  command->trigger();
  return seen;
}

// Select All takes every record of the shown catalog, UnSelect All none.
TEST_F(MainWindowTest, SelectAllAndUnSelectAll) {
  AddRecords({{"A", "one", "/x/1"}, {"A", "one", "/x/2"}, {"B", "two", "/x/3"}});
  AddCatalogs(1);
  TfrmVantrell& w = Open();
  auto* grid = Get<TRxDBGrid>("RxDBGrid1");
  w.Catalogs().SelectTab(Tabs().indexOf("A"));
  Action("mnuSelAll")->trigger();
  EXPECT_EQ(grid->SelectedRecords().size(), 2) << "both records of the same title";
  Action("mnuUnSelAll")->trigger();
  EXPECT_EQ(grid->SelectedCount(), 0);
  w.Catalogs().SelectTab(Tabs().indexOf("Cat 00"));
  Action("mnuSelAll")->trigger();
  EXPECT_EQ(grid->SelectedCount(), 0) << "an empty catalog";
}

// Add, Rename and Delete of catalogs: every message, the tabs rebuilt from
// the names, the records following a rename, the counters after a delete.
TEST_F(MainWindowTest, CatalogsAreAddedRenamedAndDeleted) {
  std::vector<Rec> recs;
  for (int i = 0; i < 22; ++i) recs.push_back({"Disk", QString("d%1").arg(i), "/x/d"});
  for (int i = 0; i < 3; ++i) recs.push_back({"Music", QString("m%1").arg(i), "/x/m"});
  AddRecords(recs);
  TfrmVantrell& w = Open();
  ASSERT_EQ(Tabs(), (QStringList{"Disk", "Music"}));
  using Call = prompts::ScriptedPrompts::Call;

  UseCatalogForm(Action("mnuAddCat"), {{"", "sbtnADR"}, {"disk", "sbtnADR"}, {"New", "sbtnADR"}});
  EXPECT_EQ(scripted_.Texts(), (QStringList{"You did not enter a catalog name.",
                                            "A catalog with this name already exists.\nEnter a different name."}));
  EXPECT_EQ(Tabs(), (QStringList{"Disk", "Music", "New"}));
  EXPECT_EQ(w.Catalogs().CurrentCatalog(), "New");
  EXPECT_EQ(Label("Label6")->text(), "0");
  EXPECT_EQ(scripted_.Beeps(), 2) << "the duplicate and the catalog added";

  // The box takes whole characters up to the field's 20 bytes, so two
  // names never meet as one catalog after a cut.
  const QString japanese = QString::fromUtf8("日本語の写真コレクション");
  EXPECT_EQ(UseCatalogForm(Action("mnuAddCat"), {{japanese, "sbtnADR"}}).second, japanese.left(6));
  scripted_.Clear();
  EXPECT_EQ(UseCatalogForm(Action("mnuAddCat"), {{japanese + "2", "sbtnADR"}}).second, japanese.left(6));
  EXPECT_EQ(scripted_.Texts(), QStringList{"A catalog with this name already exists.\nEnter a different name."});
  EXPECT_EQ(Tabs(), (QStringList{"Disk", "Music", "New", japanese.left(6)}));
  w.Catalogs().SelectTab(Tabs().indexOf(japanese.left(6)));
  UseCatalogForm(Action("mnuDelCat"), {{"", "sbtnADR"}});
  scripted_.Clear();

  // A new letter case is a rename; the records follow.
  w.Catalogs().SelectTab(Tabs().indexOf("Disk"));
  UseCatalogForm(Action("mnuRenCat"), {{"DISK", "sbtnADR"}});
  EXPECT_EQ(Tabs(), (QStringList{"DISK", "Music", "New"}));
  EXPECT_EQ(w.Catalogs().CurrentCatalog(), "DISK");
  EXPECT_EQ(Label("Label6")->text(), "22");

  // Onto another catalog's name: one catalog of both, one name left.
  w.Catalogs().SelectTab(Tabs().indexOf("New"));
  UseCatalogForm(Action("mnuRenCat"), {{"Music", "sbtnADR"}});
  EXPECT_EQ(Tabs(), (QStringList{"DISK", "Music"}));
  EXPECT_EQ(dm_->ApTable2.RecordCount(), 2);

  // Deleting the current catalog of 3 records: 25 become 22, the first tab shows.
  w.Catalogs().SelectTab(Tabs().indexOf("Music"));
  ASSERT_EQ(Label("Label4")->text(), "25");
  EXPECT_EQ(UseCatalogForm(Action("mnuDelCat"), {{"", "sbtnADR"}}).first,
            "This 'Catalog' will be deleted.\nIts 3 records will be deleted with it.");
  EXPECT_EQ(Tabs(), (QStringList{"DISK"}));
  EXPECT_EQ(Label("Label4")->text(), "22");
  EXPECT_EQ(Label("Label6")->text(), "22");
  EXPECT_FALSE(Action("mnuDelCat")->isEnabled()) << "the last catalog stays";
  EXPECT_EQ(scripted_.Count(Call::Message), 0);

  Reopen();
  EXPECT_EQ(Tabs(), (QStringList{"DISK"}));
  EXPECT_EQ(dm_->ApTable1.RecordCount(), 22);
}

// Types `text` into `w` key by key, any script.
void TypeText(QWidget* w, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &release);
  }
}

// What the user typed into a record survives every command that leaves
// it: one that moves the cursor saves it first; one that would drop it
// (another tab, the title button) asks. Read back as another program reads
// the files.
TEST_F(MainWindowTest, TypedChangesAreKeptWhenACommandLeavesTheRecord) {
  AddRecords({{"A", "a1", "/x/a1"}, {"A", "a2", "/x/a2"}, {"A", "a3", "/x/a3"}, {"B", "b", "/x/b"}});
  TfrmVantrell& w = Open();
  xbase::Table& t = dm_->ApTable1;
  auto* grid = Get<TRxDBGrid>("RxDBGrid1");
  auto* memo = Get<QPlainTextEdit>("DBMemo1");
  // Edit, a title typed into the grid's cell (left open) and a description
  // into the memo, on the record at `path`.
  const auto type = [&](const char* path, const QString& title, const QString& desc) {
    ASSERT_TRUE(t.Locate("FLNAME", path));
    Button("sbtnEdit")->click();
    ASSERT_EQ(t.GetState(), xbase::State::Edit);
    const QModelIndex cell = grid->model()->index((int)t.RecordIndex(), 0);
    grid->edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(cell));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    TypeText(editor, title);
    memo->selectAll();
    TypeText(memo, desc);
  };
  // Catalog, title and description of the record at `path` in the files.
  const auto stored = [&](const char* path) {
    xbase::Environment env;
    xbase::Table files(env);
    files.SetDatabaseName(store::EnginePath(data_));
    files.SetTableName(store::kRecordsTable);
    files.SetReadOnly(true);
    files.Open();
    if (!files.Locate("FLNAME", path)) return QStringList();
    return QStringList{QString::fromStdString(files.FieldByName("Catalog")),
                       QString::fromStdString(files.FieldByName("FLTITLE")),
                       QString::fromStdString(files.FieldByName("FLDESC"))};
  };

  // Records > Add, left with Exit.
  type("/x/a1", "added", "while adding");
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<TfrmAddToCatalog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    Child<QToolButton>(dialog, "sbtnExit")->click();
  });
  Action("mnuRecAdd")->trigger();
  EXPECT_EQ(stored("/x/a1"), (QStringList{"A", "added", "while adding"}));

  // Records > Move of the record being edited.
  type("/x/a2", "moved", "while moving");
  QTest::keyClick(grid, Qt::Key_Space, Qt::ControlModifier);
  OnBatchForm([](TfrmMultiFiles& form) { Child<QToolButton>(&form, "sbtnDM")->click(); });
  Action("mnuMove")->trigger();
  EXPECT_EQ(stored("/x/a2"), (QStringList{"B", "moved", "while moving"}));

  // Records > Delete of another record.
  ASSERT_TRUE(t.Locate("FLNAME", "/x/a1"));
  QTest::keyClick(grid, Qt::Key_Space, Qt::ControlModifier);
  type("/x/a3", "kept", "while deleting");
  OnBatchForm([](TfrmMultiFiles& form) { Child<QToolButton>(&form, "sbtnDM")->click(); });
  Action("mnuRecDel")->trigger();
  EXPECT_EQ(stored("/x/a3"), (QStringList{"A", "kept", "while deleting"}));
  EXPECT_TRUE(stored("/x/a1").isEmpty());

  // Catalog > Rename.
  type("/x/a3", "renamed", "while renaming");
  UseCatalogForm(Action("mnuRenCat"), {{"Alpha", "sbtnADR"}});
  EXPECT_EQ(stored("/x/a3"), (QStringList{"Alpha", "renamed", "while renaming"}));

  // Another tab: the user is asked; Cancel stays, No drops, Yes saves.
  type("/x/a3", "asked", "on a tab change");
  scripted_.Answer(prompts::Cancel);
  w.Catalogs().SelectTab(Tabs().indexOf("B"));
  EXPECT_EQ(scripted_.Last().text, "The changes to this record have not been saved.\nSave them?");
  EXPECT_EQ(w.Catalogs().CurrentCatalog(), "Alpha");
  EXPECT_EQ(t.GetState(), xbase::State::Edit);
  scripted_.Answer(prompts::No);
  w.Catalogs().SelectTab(Tabs().indexOf("B"));
  EXPECT_EQ(w.Catalogs().CurrentCatalog(), "B");
  EXPECT_EQ(stored("/x/a3"), (QStringList{"Alpha", "renamed", "while renaming"}));
  type("/x/a2", "saved", "on a tab change");
  scripted_.Answer(prompts::Yes);
  w.Catalogs().SelectTab(Tabs().indexOf("Alpha"));
  EXPECT_EQ(stored("/x/a2"), (QStringList{"B", "saved", "on a tab change"}));

  // Pack, and closing the window.
  type("/x/a3", "packed", "while packing");
  Action("mnuPack")->trigger();
  EXPECT_EQ(stored("/x/a3"), (QStringList{"Alpha", "packed", "while packing"}));
  // The title cell takes whole characters up to the field's 80 bytes.
  type("/x/a3", QString(100, u'\u00e9'), "while closing");
  w.close();
  EXPECT_EQ(stored("/x/a3"), (QStringList{"Alpha", QString(40, u'\u00e9'), "while closing"}));
}

// Ctrl+PgDn and Ctrl+PgUp step through the tabs, round the ends; Keep On
// Top leaves the keyboard focus where it was.
TEST_F(MainWindowTest, TabKeysAndKeepOnTopKeepTheKeyboard) {
  AddRecords({{"A", "a", "/x/a"}, {"B", "b", "/x/b"}, {"C", "c", "/x/c"}});
  TfrmVantrell& w = Open();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  auto* grid = Get<TRxDBGrid>("RxDBGrid1");
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(w.Catalogs().CurrentCatalog(), "B");
  QTest::keyClick(grid, Qt::Key_PageUp, Qt::ControlModifier);
  QTest::keyClick(grid, Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(w.Catalogs().CurrentCatalog(), "C");
  grid->setFocus();
  Get<QAction>("mnuKeepOnTop")->trigger();
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(w.isVisible());
  // The window's own focus control: it takes the keyboard when the window
  // is active again (the offscreen platform does not activate it).
  EXPECT_EQ(w.focusWidget(), grid);
  Get<QAction>("mnuKeepOnTop")->trigger();
  EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(w.focusWidget(), grid);
}

// Permissions bind only a user who is not root: root runs the body as
// "nobody" and takes its own identity back afterwards (kept as the saved id).
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() {
    if (::geteuid() != 0) return;
    const passwd* pw = ::getpwnam("nobody");
    if (!pw) return;
    switched_ = ::setresgid(pw->pw_gid, pw->pw_gid, 0) == 0 && ::setresuid(pw->pw_uid, pw->pw_uid, 0) == 0;
  }
  ~AsOrdinaryUser() {
    if (switched_ && ::setresuid(0, 0, 0) == 0) (void)::setresgid(0, 0, 0);
  }
  bool Ordinary() const { return ::geteuid() != 0; }

 private:
  bool switched_ = false;
};

// A catalogue on a read-only medium, its records index missing and its
// catalog index stale or no index at all (and a killed copy's private index
// left behind): it opens for browsing (in key order, through a private
// index), search and reports; every command that would write is off with
// the reason, the status bar says so, and nothing is written into the folder
// or left in the temporary one.
TEST_F(MainWindowTest, ReadOnlyCatalogueOpensForReadingOnly) {
  // The catalog index is stale (from before the catalogs were added).
  const QString catalogIndex = store::DataFilePath(data_, store::kCatalogIndex);
  ASSERT_TRUE(QFile::copy(catalogIndex, dir_.path() + "/old.nsx"));
  AddRecords({{"Disc 2", "zeta", "/cd/z.txt"}, {"Disc 1", "beta", "/cd/b.txt"}, {"Disc 1", "alpha", "/cd/a.txt"}});
  ASSERT_TRUE(QFile::remove(catalogIndex) && QFile::copy(dir_.path() + "/old.nsx", catalogIndex));
  ASSERT_TRUE(QFile::remove(store::DataFilePath(data_, store::kRecordsIndex)));
  QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                         QFile::ExeOther);
  const QStringList before = QDir(data_).entryList(QDir::Files, QDir::Name);
  for (const QString& f : before) QFile::setPermissions(data_ + "/" + f, QFile::ReadOwner | QFile::ReadOther);
  QFile::setPermissions(data_, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
  const QString temp = QDir::tempPath();
  const auto privateIndexes = [&] { return QDir(temp).entryList({"vantrell-VTL*"}, QDir::Files); };
  {
    AsOrdinaryUser user;
    ASSERT_TRUE(user.Ordinary());
    // What a killed copy left (its process is gone) is cleared away.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const QString orphan = temp + "/vantrell-VTLDataA.nsx.private-" + QString::number(gone);
    for (const QString& f : {orphan, orphan + ".sort"}) {
      QFile file(f);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    TfrmVantrell& w = Open();
    EXPECT_EQ(w.StatusText(2), "Read-only");
    EXPECT_EQ(Tabs(), (QStringList{"Disc 1", "Disc 2"}));
    EXPECT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "alpha") << "key order without the index file";
    EXPECT_EQ(privateIndexes().size(), 2);
    const auto writersOff = [&] {
      for (const char* b : {"sbtnSave", "sbtnEdit", "sbtnAdd", "sbtnMove", "sbtnTrash", "sbtnCmbCLES"}) {
        EXPECT_FALSE(Button(b)->isEnabled()) << b;
        EXPECT_TRUE(Button(b)->toolTip().contains("read-only")) << b;
      }
      for (const char* a : {"mnuRecEdit", "mnuRecAdd", "mnuRecDel", "mnuMove", "mnuAddCat", "mnuDelCat", "mnuRenCat",
                            "mnuFlMove", "mnuFlRename", "mnuFlDelete", "mnuBackup", "mnuPack", "mnuReindex"}) {
        EXPECT_FALSE(Action(a)->isEnabled()) << a;
        EXPECT_TRUE(Action(a)->statusTip().contains("read-only")) << a;
      }
      EXPECT_TRUE(Get<TRxDBGrid>("RxDBGrid1")->ReadOnly());
      EXPECT_TRUE(Get<QPlainTextEdit>("DBMemo1")->isReadOnly());
    };
    writersOff();
    w.Catalogs().SelectTab(1);
    EXPECT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "zeta");
    EXPECT_EQ(Label("Label4")->text(), "3");
    writersOff();  // browsing does not switch them on again
    EXPECT_TRUE(Action("mnuSearch")->isEnabled());
    bool searched = false;
    QTimer::singleShot(0, [&] {
      auto* form = qobject_cast<TfrmSearch*>(QApplication::activeModalWidget());
      ASSERT_NE(form, nullptr);
      Child<QLineEdit>(form, "Edit1")->setText("/cd/");
      Child<QToolButton>(form, "sbtnSearch")->click();
      EXPECT_EQ(Child<QLabel>(form, "Label3")->text(), "3");
      searched = true;
      Child<QToolButton>(form, "sbtnExit")->click();
    });
    Action("mnuSearch")->trigger();
    EXPECT_TRUE(searched);
    window_.reset();
    dm_.reset();
  }
  EXPECT_EQ(QDir(data_).entryList(QDir::Files, QDir::Name), before) << "nothing written into the folder";
  EXPECT_TRUE(privateIndexes().isEmpty()) << "the private index goes with the window";

  // A catalog index that is no index file at all is passed over the same way.
  QFile::setPermissions(catalogIndex, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
  {
    QFile garbage(catalogIndex);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write(QByteArray(3000, 'x'));
  }
  QFile::setPermissions(catalogIndex, QFile::ReadOwner | QFile::ReadOther);
  {
    AsOrdinaryUser user;
    Open();
    EXPECT_EQ(Tabs(), (QStringList{"Disc 1", "Disc 2"}));
    window_.reset();
    dm_.reset();
  }
  EXPECT_TRUE(scripted_.Texts().isEmpty()) << scripted_.Texts().join('\n').toStdString();
}

TEST_F(MainWindowTest, TitleButtonJumpsToTheNextInitial) {
  AddRecords({{"T", "apple", "/x/1"}, {"T", "Avocado", "/x/2"}, {"T", "banana", "/x/3"}, {"T", "blueberry", "/x/4"},
              {"T", "cherry", "/x/5"}});
  TfrmVantrell& w = Open();
  xbase::Table& t = dm_->ApTable1;
  int changes = 0;
  QObject::connect(&dm_->DataSource1, &TDataSource::DataChange, [&](const QString&) { ++changes; });
  ASSERT_EQ(t.FieldByName("FLTITLE"), "apple");
  w.Records().RxDBGrid1TitleBtnClick(0);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "Avocado");  // a change of case counts as a new letter
  EXPECT_EQ(changes, 1);                           // one repaint for the whole jump
  w.Records().RxDBGrid1TitleBtnClick(0);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "banana");
  w.Records().RxDBGrid1TitleBtnClick(0);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "cherry");
  w.Records().RxDBGrid1TitleBtnClick(0);  // nothing follows: back to the first record
  EXPECT_EQ(t.FieldByName("FLTITLE"), "apple");

  t.Edit();
  w.Records().RxDBGrid1TitleBtnClick(0);  // while editing: the edit is cancelled, no move
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "apple");
}

TEST_F(MainWindowTest, TitleJumpWithOneInitialGoesToTheFirstRecord) {
  AddRecords({{"S", "same 1", "/x/1"}, {"S", "same 2", "/x/2"}, {"S", "same 3", "/x/3"}});
  TfrmVantrell& w = Open();
  xbase::Table& t = dm_->ApTable1;
  t.Last();
  w.Records().RxDBGrid1TitleBtnClick(0);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "same 1");
}

TEST_F(MainWindowTest, StatusMessagesClearOnceAfterTheTimer) {
  TfrmVantrell& w = Open();
  w.Status().ShowStatus(" Saved...");
  EXPECT_EQ(w.StatusText(0), " Saved...");
  EXPECT_TRUE(Get<QTimer>("Timer1")->isActive());
  int remaining = Get<QTimer>("Timer1")->remainingTime();
  QThread::msleep(20);
  w.Status().ShowStatus(" Operation complete...");
  // A running timer is not restarted by the second message.
  EXPECT_LE(Get<QTimer>("Timer1")->remainingTime(), remaining);
  w.Status().Timer1Timer();
  EXPECT_EQ(w.StatusText(0), " ");
  EXPECT_FALSE(Get<QTimer>("Timer1")->isActive());
}

TEST_F(MainWindowTest, OptionsAreWrittenAtOnceAndReadAtStart) {
  Open();
  EXPECT_TRUE(Action("mnuHints")->isChecked());
  EXPECT_FALSE(Action("mnuFlatBtns")->isChecked());
  Action("mnuFlatBtns")->trigger();
  EXPECT_TRUE(Button("sbtnSave")->autoRaise());
  EXPECT_EQ(QSettings("Brannock", "Vantrell").value("FormOps/FlatBtns").toString(), "1");
  Action("mnuCmbCrLfExtrSpc")->trigger();
  EXPECT_FALSE(Button("sbtnCmbCLES")->isHidden());
  EXPECT_TRUE(Button("sbtnClrCRLF")->isHidden());
  Action("mnuShaded")->trigger();
  EXPECT_EQ(QSettings("Brannock", "Vantrell").value("PrintOps/Shaded").toString(), "0");
  Action("mnuHints")->trigger();
  Reopen();
  EXPECT_TRUE(Action("mnuFlatBtns")->isChecked());
  EXPECT_TRUE(Button("sbtnExit")->autoRaise());
  EXPECT_TRUE(Action("mnuCmbCrLfExtrSpc")->isChecked());
  EXPECT_FALSE(Button("sbtnCmbCLES")->isHidden());
  EXPECT_FALSE(Action("mnuShaded")->isChecked());
  EXPECT_FALSE(Action("mnuHints")->isChecked());
}

TEST_F(MainWindowTest, CloseWritesTheWindowRectangleAndGridHeight) {
  TfrmVantrell& w = Open();
  w.resize(640, 600);
  w.close();
  QSettings s("Brannock", "Vantrell");
  EXPECT_EQ(s.value("FormOps/Width").toString(), "640");
  EXPECT_EQ(s.value("FormOps/Height").toString(), QString::number(w.geometry().height()));
  EXPECT_FALSE(s.value("FormOps/GridHeight").toString().isEmpty());
}

TEST_F(MainWindowTest, TrayOptionWithoutANotificationAreaStillCloses) {
  // The offscreen platform has no notification area: hiding would leave the
  // window unreachable, so the close goes ahead.
  TfrmVantrell& w = Open();
  Action("mnuTrayIcon")->trigger();
  EXPECT_EQ(QSettings("Brannock", "Vantrell").value("FormOps/TryIcn").toString(), "1");
  EXPECT_TRUE(w.close());
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(QSettings("Brannock", "Vantrell").value("FormOps/Width").toString().isEmpty());
}

TEST_F(MainWindowTest, GridRowsFollowTheCursorBothWays) {
  std::vector<Rec> recs;
  for (int i = 0; i < 300; ++i) recs.push_back({"Big", QString("title %1").arg(i, 3, 10, QChar('0')), "/x/y"});
  AddRecords(recs);
  Open();
  xbase::Table& t = dm_->ApTable1;
  EXPECT_EQ(Get<TRxDBGrid>("RxDBGrid1")->model()->rowCount(), 300);
  t.MoveToIndex(150);
  EXPECT_EQ(Get<TRxDBGrid>("RxDBGrid1")->currentIndex().row(), 150);
  emit Get<TRxDBGrid>("RxDBGrid1")->CurrentRowChosen(42);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "title 042");
}

TEST_F(MainWindowTest, DamagedTableIsRefusedNamingTheCommandThatTellsTheRepair) {
  AddRecords({{"C", "a", "/a"}, {"C", "b", "/b"}});
  // The header counts a record the file does not hold.
  QFile dbf(data_ + "/VTLDataA.dbf");
  ASSERT_TRUE(dbf.open(QIODevice::ReadWrite) && dbf.seek(4));
  dbf.write(QByteArray("\x03\x00\x00\x00", 4));
  dbf.close();
  std::string told;
  try {
    Open();
  } catch (const std::runtime_error& e) {
    told = e.what();
  }
  EXPECT_NE(told.find("header counts 3 records"), std::string::npos) << told;
  EXPECT_NE(told.find("run: vantrell-db check \"" + QDir::toNativeSeparators(data_).toStdString() + "\""),
            std::string::npos)
      << told;
}

TEST_F(MainWindowTest, DamagedDescriptionsAreReportedOnceAndTheWindowGoesOn) {
  using Call = prompts::ScriptedPrompts::Call;
  QString present = MakeFile("here.txt");
  AddRecords({{"C", "a first", present, "10", "date 1", "one"},
              {"C", "b second", present, "20", "date 2", "two"},
              {"C", "c third", present, "30", "date 3", "three"}});
  // The first two descriptions point far beyond the end of the memo file.
  const QString dbf = data_ + "/VTLDataA.dbf";
  testdata::DamageDescriptionPointer(dbf, 1);
  testdata::DamageDescriptionPointer(dbf, 2);

  TfrmVantrell& w = Open();
  Settle();
  // The damaged first record is one box, shown once the window runs.
  ASSERT_TRUE(QTest::qWaitFor([&] { return scripted_.Count(Call::Message) == 1; }, 5000));
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Error);
  EXPECT_TRUE(scripted_.Last().text.startsWith("The description of \"a first\" cannot be read.\n"));
  EXPECT_TRUE(scripted_.Last().text.contains("VTLDataA.SMT")) << scripted_.Last().text.toStdString();
  // All but the description is shown; the panel says why it is not.
  EXPECT_EQ(Get<TFileLabel>("FileLabel1")->path(), present);
  EXPECT_EQ(Label("Label8")->text(), "10 bytes");
  EXPECT_EQ(Label("dbtxtCreated")->text(), "date 1");
  auto* memo = Get<QPlainTextEdit>("DBMemo1");
  EXPECT_TRUE(memo->toPlainText().startsWith("The description of this record cannot be read.\n"));
  EXPECT_TRUE(w.RecordPanel().FilePresent());
  EXPECT_TRUE(Button("sbtnRunApp")->isEnabled());

  // Repaints and re-reads of the same record do not repeat the box.
  auto* grid = Get<TRxDBGrid>("RxDBGrid1");
  grid->viewport()->repaint();
  dm_->ApTable1.Refresh();
  QCoreApplication::processEvents();
  EXPECT_EQ(scripted_.Count(Call::Message), 1);

  // Editing the record would write over what cannot be read: refused.
  Button("sbtnEdit")->click();
  EXPECT_EQ(scripted_.Count(Call::Message), 2);
  EXPECT_TRUE(scripted_.Last().text.startsWith(
      "The record \"a first\" cannot be changed while its description cannot be read.\n"));
  EXPECT_FALSE(Button("sbtnEdit")->isChecked());
  EXPECT_EQ(dm_->ApTable1.GetState(), xbase::State::Browse);

  // Moving on: the next damaged record is one more box, a sound one shows
  // its description, and going back to a reported one shows none.
  emit grid->CurrentRowChosen(1);
  Settle();
  ASSERT_TRUE(QTest::qWaitFor([&] { return scripted_.Count(Call::Message) == 3; }, 5000));
  EXPECT_TRUE(scripted_.Last().text.startsWith("The description of \"b second\" cannot be read."));
  EXPECT_EQ(Label("Label8")->text(), "20 bytes");
  emit grid->CurrentRowChosen(2);
  Settle();
  EXPECT_EQ(memo->toPlainText(), "three");
  emit grid->CurrentRowChosen(0);
  Settle();
  QCoreApplication::processEvents();
  EXPECT_EQ(scripted_.Count(Call::Message), 3);
  EXPECT_EQ(Label("dbtxtCreated")->text(), "date 1");
  EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, EngineErrorInACommandLeavesTheTableBrowsing) {
  using Call = prompts::ScriptedPrompts::Call;
  std::vector<Rec> recs;
  for (int i = 0; i < 300; ++i) recs.push_back({"Big", QString("title %1").arg(i, 3, 10, QChar('0')), "/x/y"});
  AddRecords(recs);
  TfrmVantrell& w = Open();
  xbase::Table& t = dm_->ApTable1;
  // Another program cuts the records table short while the window shows it.
  QFile dbf(data_ + "/VTLDataA.dbf");
  ASSERT_TRUE(dbf.open(QIODevice::ReadWrite));
  ASSERT_TRUE(dbf.resize(dbf.size() / 4));
  dbf.close();

  // A grid move to a record that is gone: one box naming the file.
  emit Get<TRxDBGrid>("RxDBGrid1")->CurrentRowChosen(250);
  ASSERT_EQ(scripted_.Count(Call::Message), 1);
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Error);
  EXPECT_TRUE(scripted_.Last().text.contains("VTLDataA.dbf")) << scripted_.Last().text.toStdString();
  EXPECT_EQ(t.GetState(), xbase::State::Browse);

  // The title jump meets the cut while editing, with the controls
  // suspended: the edit is dropped and the controls run again.
  t.Edit();
  w.Records().RxDBGrid1TitleBtnClick(1);
  ASSERT_EQ(scripted_.Count(Call::Message), 2);
  EXPECT_TRUE(scripted_.Last().text.contains("VTLDataA.dbf"));
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_FALSE(t.ControlsDisabled());
  EXPECT_TRUE(Button("sbtnFind")->isEnabled());
  EXPECT_FALSE(Button("sbtnSave")->isEnabled());
  EXPECT_EQ(w.StatusText(2), "Browse mode...");
  EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, IndexFileThatIsNotOursIsRebuiltAndTold) {
  QString present = MakeFile("here.txt");
  AddRecords({{"C", "b", present}, {"C", "a", present}});
  // Something else under the index file's name: the window still opens on
  // the records, in title order, and says what it repaired.
  QFile f(data_ + "/VTLDataA.nsx");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(QByteArray(8192, 'z'));
  f.close();
  TfrmVantrell& w = Open();
  Settle();
  EXPECT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "a");
  EXPECT_EQ(Label("Label6")->text(), "2");
  EXPECT_EQ(w.StatusText(0), " Index file VTLDataA.nsx was rebuilt.");
  EXPECT_EQ(scripted_.Count(prompts::ScriptedPrompts::Call::Message), 0);
}

TEST_F(MainWindowTest, MissingRecordsTableIsNamedInTheError) {
  QFile::remove(data_ + "/VTLDataA.dbf");
  dm_ = std::make_unique<TDataModule1>();
  // No creation here: the window is asked to open what is not there.
  try {
    TfrmVantrell w(*dm_, data_);
    FAIL() << "opened a missing table";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("VTLDataA.dbf"), std::string::npos) << e.what();
  }
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName("Brannock");
  QCoreApplication::setApplicationName("Vantrell");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
