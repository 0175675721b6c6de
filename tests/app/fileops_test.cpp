// The main window's File menu and its database maintenance as a user meets
// them: the file commands on the current record's file with the counters
// and the status bar, launching the file, and Backup, Pack and Reindex of
// Options > Database with the catalog shown and its counters afterwards.
// Runs under the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <memory>

#include "createdb.h"
#include "datafiles.h"
#include "datagrid.h"
#include "datamodule.h"
#include "fileoperations.h"
#include "folderrecords.h"
#include "maintenance.h"
#include "catalogtabs.h"
#include "mainwindow.h"
#include "mainwindowservices.h"
#include "recordcommands.h"
#include "recordpanel.h"
#include "recordsession.h"
#include "reportcommands.h"
#include "statuspanels.h"
#include "prompts.h"
#include "zipentries.h"
#include "zipexpand.h"

namespace {

using Call = prompts::ScriptedPrompts::Call;

// Takes the files the desktop is asked to open.
class Opener : public QObject {
  Q_OBJECT

 public slots:
  void open(const QUrl& url) { opened << url; }

 public:
  QList<QUrl> opened;
};

QByteArray Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class WindowFileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QCoreApplication::setOrganizationName("Brannock");
    QCoreApplication::setApplicationName("Vantrell");
    ASSERT_TRUE(dir_.isValid());
    root_ = dir_.path();
    data_ = root_ + "/data";
    QDir().mkpath(data_);
    qputenv("HOME", root_.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root_ + "/share").toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root_ + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root_ + "/config");
    QSettings("Brannock", "Vantrell").clear();
    prompts::SetCurrent(&scripted_);
    ASSERT_TRUE(store::CreateDatabaseFiles(data_).ok());
  }

  void TearDown() override {
    window_.reset();
    dm_.reset();
    prompts::SetCurrent(nullptr);
  }

  QString MakeFile(const QString& name, const QByteArray& bytes = "contents") {
    const QString p = root_ + "/files/" + name;
    QDir().mkpath(QFileInfo(p).path());
    QFile f(p);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return p;
  }

  // Records of (catalog, title, path), each of 8 bytes and a description
  // of its title; those with `deleted` set are left marked deleted.
  struct Rec {
    QString catalog, title, path;
    bool deleted = false;
  };
  void AddRecords(const std::vector<Rec>& recs) {
    std::vector<testsupport::RecordRow> rows;
    for (const Rec& r : recs) rows.push_back({r.catalog, r.title, r.path, "8", "", "a description of " + r.title, r.deleted});
    testsupport::AddRecords(data_, rows);
  }

  TfrmVantrell& Open() {
    dm_ = std::make_unique<TDataModule1>();
    dm_->DataModule1Create(data_);
    window_ = std::make_unique<TfrmVantrell>(*dm_, data_);
    window_->show();
    Settle();
    return *window_;
  }

  void Settle() { ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->RecordPanel().FileCheckPending(); }, 5000)); }

  template <class T>
  T* Get(const char* name) const {
    T* found = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QString Counter(const char* name) const { return Get<QLabel>(name)->text(); }

  // Triggers a File menu item and presses the dialog's action button with
  // `destination` in Edit2 (as it is when empty).
  void FileCommand(const char* item, const QString& destination = {}) {
    QTimer::singleShot(0, [destination] {
      auto* form = qobject_cast<fileops::TfrmFileOperations*>(QApplication::activeModalWidget());
      ASSERT_NE(form, nullptr);
      if (!destination.isEmpty()) form->findChild<QLineEdit*>("Edit2")->setText(destination);
      form->findChild<QToolButton*>("sbtnFileOps")->click();
    });
    Get<QAction>(item)->trigger();
  }

  QString BackupFolder() const { return root_ + "/Backup"; }

  QTemporaryDir dir_;
  QString root_, data_;
  prompts::ScriptedPrompts scripted_;
  std::unique_ptr<TDataModule1> dm_;
  std::unique_ptr<TfrmVantrell> window_;
};

TEST_F(WindowFileOpsTest, FileMenuWorksOnTheCurrentRecordsFile) {
  const QString a = MakeFile("a.txt"), b = MakeFile("b.txt");
  AddRecords({{"C", "a", a}, {"C", "b", b}});
  TfrmVantrell& w = Open();
  auto* grid = Get<TRxDBGrid>("RxDBGrid1");
  grid->SelectAllRecords();

  FileCommand("mnuFlCopy", root_ + "/copies/a.txt");
  EXPECT_EQ(Read(root_ + "/copies/a.txt"), "contents");  // the folder made on the default Yes
  EXPECT_EQ(grid->SelectedCount(), 0) << "only the current record is concerned";
  EXPECT_EQ(w.StatusText(0), " Operation complete...");
  EXPECT_TRUE(Get<QTimer>("Timer1")->isActive());

  // Delete: the file to the trash, the record gone, both counters one lower.
  FileCommand("mnuFlDelete");
  EXPECT_EQ(scripted_.Last().text, "Are you sure you want to DELETE this file?\n\nFile: [" + a + "]");
  EXPECT_FALSE(QFileInfo::exists(a));
  EXPECT_EQ(Counter("Label6"), "1");
  EXPECT_EQ(Counter("Label4"), "1");
  EXPECT_EQ(dm_->ApTable1.RecordCount(), 1);
  Settle();
  EXPECT_EQ(dm_->ApTable1.FieldByName("FLNAME"), store::ToUtf8(b));

  // Launch: the desktop is asked to open the record's file.
  Opener opener;
  QDesktopServices::setUrlHandler("file", &opener, "open");
  Get<QToolButton>("sbtnRunApp")->click();
  Get<QAction>("mnuRunApp")->trigger();
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_EQ(opener.opened, (QList<QUrl>{QUrl::fromLocalFile(b), QUrl::fromLocalFile(b)}));
  EXPECT_EQ(scripted_.Count(Call::Message), 2) << scripted_.Texts().join("|").toStdString();
}

// The zip window opens on the record's archive; Copy to Desc saves a
// browsed record's description at once and leaves an edited one in edit.
TEST_F(WindowFileOpsTest, ZipTextCopiedIntoTheDescription) {
  const QString src = root_ + "/zipsrc";
  QDir().mkpath(src);
  QFile t(src + "/notes.txt");
  ASSERT_TRUE(t.open(QIODevice::WriteOnly));
  t.write("quoted passage\n");
  t.close();
  QProcess zip;
  zip.setWorkingDirectory(src);
  QDir().mkpath(root_ + "/files");
  zip.start("zip", {"-q", root_ + "/files/pack.zip", "notes.txt"});
  ASSERT_TRUE(zip.waitForFinished(30000));
  AddRecords({{"C", "pack", root_ + "/files/pack.zip"}});
  TfrmVantrell& w = Open();
  int rows = -1;
  QString zipFolder;
  QTimer::singleShot(0, [&] {
    auto* zipWindow = qobject_cast<TfrmZipExpand*>(QApplication::activeModalWidget());
    ASSERT_NE(zipWindow, nullptr);
    rows = zipWindow->EntryModel().rowCount();
    zipFolder = zipWindow->ExtractionFolder();
    zipWindow->close();
  });
  Get<QToolButton>("sbtnZipArch")->click();
  EXPECT_EQ(rows, 1);
  // The next file operation, and only that one, proposes the zip window's
  // folder for Create Folder.
  for (const QString& expected : {zipFolder, QString()}) {
    QString proposed = "-";
    QTimer::singleShot(0, [&] {
      QWidget* form = QApplication::activeModalWidget();
      ASSERT_NE(form, nullptr);
      proposed = form->findChild<QLineEdit*>("Edit2")->text();
      form->findChild<QToolButton*>("sbtnClose")->click();
    });
    Get<QAction>("mnuCreateDir")->trigger();
    EXPECT_EQ(proposed, expected);
  }
  EXPECT_FALSE(zipFolder.isEmpty());

  ASSERT_TRUE(w.Services().Record().PasteIntoDescription("quoted passage"));
  EXPECT_EQ(dm_->ApTable1.GetState(), xbase::State::Browse) << "a browsed record is saved at once";
  EXPECT_NE(dm_->ApTable1.FieldByName("FLDESC").find("quoted passage"), std::string::npos);
  Get<QAction>("mnuRecEdit")->trigger();
  ASSERT_TRUE(w.Services().Record().PasteIntoDescription(" more"));
  EXPECT_EQ(dm_->ApTable1.GetState(), xbase::State::Edit) << "an edited record stays for the user to save";
}

TEST_F(WindowFileOpsTest, BackupReplacesTheWholeSetOrNothing) {
  AddRecords({{"C", "first", "/nowhere/1"}});
  TfrmVantrell& w = Open();
  const auto sameAsData = [&] {
    for (const char* name : {"VTLCa.dbf", "VTLCa.nsx", "VTLDataA.dbf", "VTLDataA.nsx", "VTLDataA.SMT"})
      if (Read(BackupFolder() + "/" + name) != Read(data_ + "/" + name) || Read(data_ + "/" + name).isEmpty())
        return false;
    return true;
  };
  // A first backup that fails does not speak of a previous one.
  QDir().mkpath(BackupFolder() + "/VTLCa.dbf.new");
  Get<QAction>("mnuBackup")->trigger();
  ASSERT_EQ(scripted_.Count(Call::Message), 1);
  EXPECT_FALSE(scripted_.Last().text.contains("previous backup")) << scripted_.Last().text.toStdString();
  EXPECT_TRUE(scripted_.Last().text.contains("There was no earlier backup")) << scripted_.Last().text.toStdString();
  EXPECT_TRUE(QDir(BackupFolder()).entryList(QDir::Files).isEmpty());
  QDir(BackupFolder() + "/VTLCa.dbf.new").removeRecursively();
  scripted_.Clear();
  Get<QAction>("mnuBackup")->trigger();
  EXPECT_EQ(w.StatusText(0), "Backup complete...");
  EXPECT_TRUE(sameAsData());
  EXPECT_EQ(QDir(BackupFolder()).entryList(QDir::Files).size(), 5);
  const QByteArray firstRecords = Read(BackupFolder() + "/VTLDataA.dbf");

  // The database changes; the next backup cannot write one of its copies.
  xbase::Table& t = dm_->ApTable1;
  t.Edit();
  t.SetFieldByName("FLDESC", "a longer description written after the first backup");
  t.Post();
  QDir().mkpath(BackupFolder() + "/VTLDataA.SMT.new");
  Get<QAction>("mnuBackup")->trigger();
  ASSERT_EQ(scripted_.Count(Call::Message), 1);
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Error);
  EXPECT_TRUE(scripted_.Last().text.startsWith("The backup was not made. These files could not be copied:\nVTLDataA.SMT: "))
      << scripted_.Last().text.toStdString();
  EXPECT_EQ(Read(BackupFolder() + "/VTLDataA.dbf"), firstRecords) << "the previous backup is whole";
  QStringList files = QDir(BackupFolder()).entryList(QDir::Files);
  files.sort();
  EXPECT_EQ(files, (QStringList{"VTLCa.dbf", "VTLCa.nsx", "VTLDataA.SMT", "VTLDataA.dbf", "VTLDataA.nsx"}));
  EXPECT_NE(w.StatusText(0), "Backup complete...");

  EXPECT_TRUE(scripted_.Last().text.contains("The previous backup in")) << scripted_.Last().text.toStdString();

  QDir(BackupFolder() + "/VTLDataA.SMT.new").removeRecursively();
  Get<QAction>("mnuBackup")->trigger();
  EXPECT_EQ(w.StatusText(0), "Backup complete...");
  EXPECT_TRUE(sameAsData());

  // A missing index file (rebuilt from its table at the next start) does not
  // stop the backup: the rest is copied and its old copy does not stay.
  ASSERT_TRUE(QFile::remove(data_ + "/VTLCa.nsx"));
  scripted_.Clear();
  Get<QAction>("mnuBackup")->trigger();
  EXPECT_EQ(scripted_.Count(Call::Message), 0) << scripted_.Texts().join("|").toStdString();
  EXPECT_EQ(w.StatusText(0), "Backup complete...");
  files = QDir(BackupFolder()).entryList(QDir::Files);
  files.sort();
  EXPECT_EQ(files, (QStringList{"VTLCa.dbf", "VTLDataA.SMT", "VTLDataA.dbf", "VTLDataA.nsx"}))
      << "browsing makes no table of volumes";
  EXPECT_EQ(Read(BackupFolder() + "/VTLDataA.dbf"), Read(data_ + "/VTLDataA.dbf"));

  // Once the catalogs remember volumes, their table is in the backup too.
  ASSERT_TRUE(QFile::copy(data_ + "/VTLCa.dbf", data_ + "/VTLVol.dbf"));
  ASSERT_TRUE(QFile::copy(data_ + "/VTLDataA.SMT", data_ + "/VTLVol.SMT"));
  Get<QAction>("mnuBackup")->trigger();
  EXPECT_EQ(w.StatusText(0), "Backup complete...");
  EXPECT_EQ(Read(BackupFolder() + "/VTLVol.SMT"), Read(data_ + "/VTLVol.SMT"));
  EXPECT_TRUE(QFile::exists(BackupFolder() + "/VTLVol.dbf"));
}

TEST_F(WindowFileOpsTest, PackAndReindexShowTheSameCatalogWithItsCounters) {
  AddRecords({{"B", "gone", "/n/0", true},
              {"A", "a1", "/n/1"},
              {"B", "b1", "/n/2"},
              {"B", "b2", "/n/3", true},
              {"A", "a2", "/n/4", true},
              {"B", "b3", "/n/5"}});
  TfrmVantrell& w = Open();
  w.Catalogs().SelectTab(1);
  ASSERT_EQ(Counter("Label6"), "2");
  ASSERT_EQ(Counter("Label4"), "3");
  // A row chosen before the pack, which numbers the records anew.
  auto* grid = Get<TRxDBGrid>("RxDBGrid1");
  ASSERT_TRUE(dm_->ApTable1.Locate("FLNAME", "/n/2"));
  QTest::keyClick(grid, Qt::Key_Space, Qt::ControlModifier);
  ASSERT_EQ(grid->SelectedCount(), 1);
  const qint64 before = QFileInfo(data_ + "/VTLDataA.dbf").size();
  Get<QAction>("mnuPack")->trigger();
  EXPECT_TRUE(grid->SelectedRecords().isEmpty()) << "no other record is chosen in its place";
  const qint64 saved = before - QFileInfo(data_ + "/VTLDataA.dbf").size();
  EXPECT_GT(saved, 0);
  EXPECT_EQ(w.StatusText(0), "Database pack complete...  (" + QString::number(saved) + " bytes smaller.)");
  const auto same = [&] {
    EXPECT_EQ(Get<QTabBar>("TabControl1")->currentIndex(), 1);
    EXPECT_EQ(Counter("Label6"), QString::number(dm_->ApTable1.RecordCount()));
    EXPECT_EQ(Counter("Label6"), "2");
    EXPECT_EQ(Counter("Label4"), "3");
    EXPECT_EQ(Get<TRxDBGrid>("RxDBGrid1")->model()->rowCount(), 2);
    EXPECT_TRUE(dm_->ApTable3.Active());
    EXPECT_FALSE(dm_->ApTable1.Exclusive());
    EXPECT_FALSE(dm_->Packing);
  };
  same();
  dm_->ApTable3.SetQuery("");
  EXPECT_EQ(dm_->ApTable3.RecordCount(), 3) << "every record kept";
  EXPECT_EQ(dm_->ApTable3.FieldByName("FLDESC").substr(0, 16), "a description of");

  Get<QAction>("mnuPack")->trigger();
  EXPECT_EQ(w.StatusText(0), "Database pack complete...  (0 bytes smaller.)");
  Get<QAction>("mnuReindex")->trigger();
  EXPECT_EQ(w.StatusText(0), "Reindex complete...");
  same();
  EXPECT_EQ(scripted_.Count(Call::Message), 0) << scripted_.Texts().join("|").toStdString();
}

TEST_F(WindowFileOpsTest, PackOrReindexBlockedByAnotherProgramChangesNothing) {
  AddRecords({{"A", "a1", "/n/1"}, {"B", "b1", "/n/2"}, {"B", "b2", "/n/3"}, {"B", "gone", "/n/4", true}});
  TfrmVantrell& w = Open();
  w.Catalogs().SelectTab(1);
  emit Get<TRxDBGrid>("RxDBGrid1")->CurrentRowChosen(1);
  ASSERT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "b2");
  const qint64 size = QFileInfo(data_ + "/VTLDataA.dbf").size();
  // Another program reads the records table.
  xbase::Environment other;
  xbase::Table holder(other);
  holder.SetDatabaseName(store::EnginePath(data_));
  holder.SetTableName(store::kRecordsTable);
  holder.SetReadOnly(true);
  holder.Open();

  for (const char* item : {"mnuPack", "mnuReindex"}) {
    SCOPED_TRACE(item);
    scripted_.Clear();
    Get<QAction>(item)->trigger();
    ASSERT_EQ(scripted_.Count(Call::Message), 1) << scripted_.Texts().join("|").toStdString();
    EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Error);
    EXPECT_TRUE(scripted_.Last().text.contains("VTLDataA.dbf")) << scripted_.Last().text.toStdString();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(QFileInfo(data_ + "/VTLDataA.dbf").size(), size);
    EXPECT_EQ(Get<QTabBar>("TabControl1")->currentIndex(), 1);
    EXPECT_EQ(Counter("Label6"), "2");
    EXPECT_EQ(dm_->ApTable1.FieldByName("FLTITLE"), "b2") << "the same record";
    EXPECT_FALSE(dm_->ApTable3.Active()) << "closed as it was";
    for (xbase::Table* t : {&dm_->ApTable1, &dm_->ApTable2}) {
      EXPECT_TRUE(t->Active());
      EXPECT_FALSE(t->Exclusive());
    }
    EXPECT_FALSE(w.StatusText(0).contains("complete"));
  }
  holder.Close();
  Get<QAction>("mnuPack")->trigger();
  EXPECT_TRUE(w.StatusText(0).startsWith("Database pack complete...  ("));
}

// A pack of many records tells how far it is, up to the end.
TEST_F(WindowFileOpsTest, PackTellsItsProgress) {
  std::vector<Rec> recs;
  for (int i = 0; i < 9000; ++i) recs.push_back({"C", QString("title %1").arg(i), "/n/x", i % 3 == 0});
  AddRecords(recs);
  TDataModule1 dm;
  dm.DataModule1Create(data_);
  dm.ApTable1.Open();
  std::vector<double> told;
  store::PackRecords(dm, {}, [&](double done) { told.push_back(done); });
  ASSERT_GT(told.size(), 2u);
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
  EXPECT_DOUBLE_EQ(told.back(), 1.0);
  EXPECT_EQ(dm.ApTable1.RecordCount(), 6000);
}

}  // namespace


#include "fileops_test.moc"
