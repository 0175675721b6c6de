// A catalogue that stays true to its disks, from the main window: the add
// of files remembers its volume, a record tells a disk not connected from a
// file gone and finds one mounted elsewhere, the Volumes window with its
// notes, and the compare with the disk applied. Runs under the offscreen
// platform; where a volume is mounted is a stand-in where it matters.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <QElapsedTimer>
#include <QTableView>

#include <memory>

#include "batchcontroller.h"
#include "batchservice.h"
#include "compareform.h"
#include "createdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "mainwindow.h"
#include "mainwindowservices.h"
#include "pathlabel.h"
#include "prompts.h"
#include "recordpanel.h"
#include "recordsession.h"
#include "standinwindow.h"
#include "tabledisks.h"
#include "volume.h"
#include "volumesform.h"

namespace {

using store::DiffKind;

class DisksWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    data_ = dir_.path() + "/data";
    files_ = dir_.path() + "/files";
    QDir().mkpath(data_);
    QDir().mkpath(files_);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings("Brannock", "Vantrell").clear();
    prompts::SetCurrent(&scripted_);
    // Dates written in a locale whose short date is numbers, as a user's is.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(store::CreateDatabaseFiles(data_).ok());
  }

  void TearDown() override {
    window_.reset();
    dm_.reset();
    prompts::SetCurrent(nullptr);
    QLocale::setDefault(QLocale::c());
  }

  QString MakeFile(const QString& path, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
  }

  TfrmVantrell& Open() {
    dm_ = std::make_unique<TDataModule1>();
    dm_->DataModule1Create(data_);
    window_ = std::make_unique<TfrmVantrell>(*dm_, data_);
    window_->show();
    return *window_;
  }

  // The files named (relative to files_) added to the shown catalog as
  // the add-files flow adds them.
  addfiles::BatchReport Add(const QStringList& names) {
    addfiles::BatchController batch(window_->Services().Batch(), BatchMode::Add);
    batch.SetFiles(files_, names);
    return batch.Run(window_->Services().CurrentCatalog(), {}, {});
  }

  void Settle() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->RecordPanel().FileCheckPending(); }, 5000));
  }

  // The current record checked again (as a record change does).
  void Recheck() {
    window_->RecordPanel().DataSource1DataChange(QString());
    Settle();
  }

  template <class T>
  T* Get(const QWidget* parent, const char* name) const {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  QTemporaryDir dir_;
  QString data_, files_;
  prompts::ScriptedPrompts scripted_;
  std::unique_ptr<TDataModule1> dm_;
  std::unique_ptr<TfrmVantrell> window_;
};

TEST_F(DisksWindowTest, AddingFilesRemembersTheirVolumeAndAFailureNeverFailsTheAdd) {
  MakeFile(files_ + "/a.txt");
  MakeFile(files_ + "/sub/b.txt");
  Open();
  const addfiles::BatchReport report = Add({"a.txt", "sub/b.txt"});
  EXPECT_EQ(report.status, "Add complete.... ");
  disk::Volume volume;
  std::string error;
  ASSERT_TRUE(disk::VolumeOf(files_.toStdString(), &volume, &error)) << error;
  const auto rows = dm_->Volumes.Rows("Temporary");
  ASSERT_EQ(rows->size(), 1u);
  EXPECT_EQ((*rows)[0].volume.id, volume.id);
  EXPECT_EQ((*rows)[0].volume.mountPoint, volume.mountPoint);
  EXPECT_EQ(store::FromUtf8((*rows)[0].folder), QDir::toNativeSeparators(files_));
  EXPECT_TRUE(dm_->Volumes.Rows("Other")->empty());

  // A volume table that cannot be used: the records are added all the
  // same, and the status text says what was not remembered.
  window_.reset();
  dm_.reset();
  {
    QFile damaged(store::DataFilePath(data_, store::kVolumeTable));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("no table at all");
  }
  Open();
  const addfiles::BatchReport second = Add({"a.txt"});
  EXPECT_TRUE(second.status.startsWith("Add complete.... The volume of ")) << second.status.toStdString();
  EXPECT_TRUE(second.status.contains("was not remembered")) << second.status.toStdString();
  EXPECT_TRUE(second.error.isEmpty());
  EXPECT_EQ(Get<QLabel>(window_.get(), "Label6")->text(), "3");
}

TEST_F(DisksWindowTest, ARecordTellsItsVolumeNotConnectedAndFindsItMountedElsewhere) {
  const QString file = MakeFile(files_ + "/song.mp3");
  TfrmVantrell& w = Open();
  Add({"song.mp3"});
  const auto rows = dm_->Volumes.Rows("Temporary");
  ASSERT_EQ(rows->size(), 1u);
  const store::VolumeRow row = (*rows)[0];
  const QString label = store::FromUtf8(row.volume.label.empty() ? row.volume.id : row.volume.label);

  // Mounted where it was: the file is there.
  Recheck();
  EXPECT_EQ(w.StatusText(0), "");
  EXPECT_TRUE(w.RecordPanel().FilePresent());

  // Not mounted: said so with its label, the file commands off, and the
  // file itself not looked for.
  dm_->Volumes.SetMountLookup([](const std::string&) { return std::vector<std::string>{}; });
  Recheck();
  EXPECT_EQ(w.StatusText(0), "Volume not connected (" + label + ")");
  EXPECT_FALSE(w.RecordPanel().FilePresent());
  EXPECT_FALSE(Get<QAction>(&w, "mnuFlCopy")->isEnabled());
  EXPECT_FALSE(Get<QAction>(&w, "mnuRunApp")->isEnabled());

  // Mounted at another place: found there; the File menu's commands and
  // Launch take the file where it is now, the record keeps its path.
  const QString mount = dir_.path() + "/elsewhere";
  const QString relative = store::FromUtf8(row.volume.mountPoint) == "/"
                               ? file.mid(1)
                               : file.mid(store::FromUtf8(row.volume.mountPoint).size() + 1);
  const QString there = MakeFile(mount + "/" + relative);
  ASSERT_TRUE(QFile::remove(file));
  dm_->Volumes.SetMountLookup([m = mount.toStdString()](const std::string&) { return std::vector<std::string>{m}; });
  Recheck();
  EXPECT_EQ(w.StatusText(0), "");
  EXPECT_TRUE(w.RecordPanel().FilePresent());
  EXPECT_EQ(w.RecordPanel().FileFoundAt(), there);
  EXPECT_EQ(w.Services().Record().FilePath().value_or(""), there);
  EXPECT_EQ(Get<TFileLabel>(&w, "FileLabel1")->path(), file);
  // A file moved on that disk is followed in the record's own form.
  ASSERT_TRUE(QFile::rename(there, mount + "/" + relative + ".moved"));
  ASSERT_TRUE(w.Services().Record().FollowFile(mount + "/" + relative + ".moved"));
  EXPECT_EQ(store::FromUtf8(dm_->ApTable1.FieldByName("FLNAME")), file + ".moved");

  // A catalog without volume rows behaves as before.
  dm_->Volumes.SetMountLookup([](const std::string&) { return std::vector<std::string>{}; });
  window_.reset();
  dm_.reset();
  QFile::remove(store::DataFilePath(data_, store::kVolumeTable));
  QFile::remove(store::DataFilePath(data_, store::kVolumeMemo));
  TfrmVantrell& again = Open();
  dm_->Volumes.SetMountLookup([](const std::string&) { return std::vector<std::string>{}; });
  Recheck();
  EXPECT_EQ(again.StatusText(0), "File not found.");
}

TEST_F(DisksWindowTest, VolumesWindowListsTheVolumesAndKeepsANoteThatCouldNotBeSaved) {
  MakeFile(files_ + "/a.txt");
  TfrmVantrell& w = Open();
  Add({"a.txt"});
  disk::Volume volume;
  std::string error;
  ASSERT_TRUE(disk::VolumeOf(files_.toStdString(), &volume, &error)) << error;
  dm_->Volumes.SetMountLookup([](const std::string&) { return std::vector<std::string>{"/media/u/NOW"}; });

  // The menu command opens it.
  bool opened = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TfrmVolumes*>(QApplication::activeModalWidget());
    opened = dialog != nullptr;
    if (dialog) dialog->close();
  });
  Get<QAction>(&w, "mnuVolumes")->trigger();
  EXPECT_TRUE(opened);

  TfrmVolumes dialog(w.Services(), &w);
  disks::VolumesModel& m = dialog.Model();
  ASSERT_EQ(m.rowCount(), 1);
  const auto cell = [&](int column) { return m.data(m.index(0, column), Qt::DisplayRole).toString(); };
  EXPECT_EQ(cell(disks::VolumesModel::Label), store::FromUtf8(volume.label));
  EXPECT_EQ(cell(disks::VolumesModel::FileSystem), store::FromUtf8(volume.fsType));
  EXPECT_EQ(cell(disks::VolumesModel::Folder), QDir::toNativeSeparators(files_));
  EXPECT_EQ(cell(disks::VolumesModel::MountPoint), store::FromUtf8(volume.mountPoint));
  EXPECT_EQ(cell(disks::VolumesModel::Connected), "Yes, at /media/u/NOW");
  EXPECT_FALSE(cell(disks::VolumesModel::Scanned).isEmpty());

  // A note is saved as the cell is left.
  const QModelIndex note = m.index(0, disks::VolumesModel::Note);
  EXPECT_TRUE(m.flags(note) & Qt::ItemIsEditable);
  ASSERT_TRUE(m.setData(note, "shelf 2", Qt::EditRole));
  EXPECT_EQ((*dm_->Volumes.Rows("Temporary"))[0].note, "shelf 2");

  // One that cannot be saved is said so and stays as typed, also through
  // OK, until it can be saved.
  const QString table = store::DataFilePath(data_, store::kVolumeTable);
  ASSERT_TRUE(QFile::rename(table, table + ".away"));
  MakeFile(table, "no table at all");
  scripted_.Clear();
  ASSERT_TRUE(m.setData(note, "box in the attic", Qt::EditRole));
  ASSERT_EQ(scripted_.Texts().size(), 1);
  EXPECT_TRUE(scripted_.Last().text.startsWith("The note was not saved: ")) << scripted_.Last().text.toStdString();
  EXPECT_EQ(cell(disks::VolumesModel::Note), "box in the attic");
  dialog.show();
  Get<QPushButton>(&dialog, "btnOK")->click();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(cell(disks::VolumesModel::Note), "box in the attic");
  ASSERT_TRUE(QFile::remove(table));
  ASSERT_TRUE(QFile::rename(table + ".away", table));
  Get<QPushButton>(&dialog, "btnOK")->click();
  EXPECT_FALSE(dialog.isVisible());
  dm_->Volumes.Changed();
  EXPECT_EQ((*dm_->Volumes.Rows("Temporary"))[0].note, "box in the attic");
}

class CompareWindowTest : public DisksWindowTest {
 protected:
  // The catalog's files added, then the disk changed: b grown, c gone, d
  // new, e moved to a folder of its own.
  void Prepare() {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "e.txt"}) MakeFile(files_ + "/" + name, name);
    Open();
    Add({"a.txt", "b.txt", "c.txt", "e.txt"});
    MakeFile(files_ + "/b.txt", "b grown");
    QFile::remove(files_ + "/c.txt");
    MakeFile(files_ + "/d.txt", "new");
    QDir().mkpath(files_ + "/moved");
    ASSERT_TRUE(QFile::rename(files_ + "/e.txt", files_ + "/moved/e.txt"));
  }

  void Compared(TfrmCompare& form) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.isVisible() && !form.Running() && form.Model().rowCount() > 0; }, 10000));
  }

  QString Cell(TfrmCompare& form, int row, int column) {
    return form.Model().data(form.Model().index(row, column), Qt::DisplayRole).toString();
  }
};

TEST_F(CompareWindowTest, CompareListsEveryKindAndApplyBringsTheTickedIntoTheCatalog) {
  Prepare();
  TfrmVantrell& w = *window_;
  TfrmCompare form(w.Services(), &w);
  form.show();
  Compared(form);
  disks::CompareModel& m = form.Model();
  EXPECT_EQ(m.Count(DiffKind::New), 1);
  EXPECT_EQ(m.Count(DiffKind::Changed), 1);
  EXPECT_EQ(m.Count(DiffKind::Missing), 1);
  EXPECT_EQ(m.Count(DiffKind::Moved), 1);
  EXPECT_EQ(Get<QCheckBox>(&form, "chkbxNew")->text(), "New: 1");
  EXPECT_EQ(Get<QLabel>(&form, "CompareCounts")->text(), "0 of 4 ticked");
  // Nothing is ticked at first: Apply has nothing to do.
  EXPECT_FALSE(Get<QPushButton>(&form, "btnApply")->isEnabled());
  // Sorted by path; the moved file shows where it was.
  ASSERT_EQ(m.rowCount(), 4);
  QStringList kinds;
  for (int r = 0; r < 4; ++r) kinds << Cell(form, r, disks::CompareModel::Kind);
  EXPECT_EQ(kinds, (QStringList{"Changed", "Missing", "New", "Moved"}));
  EXPECT_EQ(Cell(form, 3, disks::CompareModel::OldPath), QDir::toNativeSeparators(files_ + "/e.txt"));
  form.Model().sort(disks::CompareModel::Kind, Qt::DescendingOrder);
  EXPECT_EQ(Cell(form, 0, disks::CompareModel::Kind), "New");

  // Each kind's box ticks all of it; a single row by its check box.
  Get<QCheckBox>(&form, "chkbxNew")->click();
  Get<QCheckBox>(&form, "chkbxChanged")->click();
  Get<QCheckBox>(&form, "chkbxMoved")->click();
  for (int r = 0; r < m.rowCount(); ++r) {
    if (Cell(form, r, disks::CompareModel::Kind) == "Missing") {
      ASSERT_TRUE(m.setData(m.index(r, disks::CompareModel::Tick), Qt::Checked, Qt::CheckStateRole));
    }
  }
  EXPECT_EQ(Get<QLabel>(&form, "CompareCounts")->text(), "4 of 4 ticked");
  EXPECT_TRUE(Get<QCheckBox>(&form, "chkbxMissing")->isChecked());
  ASSERT_TRUE(Get<QPushButton>(&form, "btnApply")->isEnabled());

  // The missing file's record is deleted only when the user says so.
  scripted_.Answer(prompts::Yes);
  Get<QPushButton>(&form, "btnApply")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Running(); }, 10000));
  EXPECT_EQ(scripted_.Texts().size(), 1);
  // Four records, as before: one new, one deleted; the counters say so.
  EXPECT_EQ(Get<QLabel>(&w, "Label6")->text(), "4");
  EXPECT_EQ(Get<QLabel>(&w, "Label4")->text(), "4");
  QStringList paths;
  xbase::Table& t = dm_->ApTable1;
  for (t.First(); !t.Eof(); t.Next()) paths << store::FromUtf8(t.FieldByName("FLNAME"));
  paths.sort();
  const QString f = QDir::toNativeSeparators(files_) + QDir::separator();
  EXPECT_EQ(paths, (QStringList{f + "a.txt", f + "b.txt", f + "d.txt", f + "moved" + QDir::separator() + "e.txt"}));
  // Compared again: nothing left to do.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Running() && form.Model().rowCount() == 0; }, 10000));
}

// A disk service whose compare meets two files, then goes on until it is
// stopped, and tells of a volume not connected and a folder not read.
class StoppableDisks : public disks::DiskService {
 public:
  bool Volumes(const QString&, std::vector<store::VolumeRow>* rows, QString*) override {
    rows->clear();
    return true;
  }
  std::vector<std::string> MountPointsOf(const std::string&) override { return {}; }
  QString SetNote(uint32_t, const QString&) override { return {}; }
  QString ReadOnly() const override { return {}; }
  disks::CompareOutcome Compare(const QString&, disks::RunState& state) override {
    std::vector<store::DiffEntry> met(2);
    met[0].path = "/disk/a.txt";
    met[1].kind = DiffKind::Changed;
    met[1].path = "/disk/b.txt";
    met[1].recno = 7;
    {
      std::lock_guard<std::mutex> hold(state.foundLock);
      state.found = met;
    }
    state.done = 2;
    QElapsedTimer waited;
    waited.start();
    while (!state.stop && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    disks::CompareOutcome out;
    out.diff.stopped = state.stop;
    out.diff.entries = met;
    out.diff.filesSeen = 2;
    out.diff.notConnected = {"USBDISK"};
    out.diff.skipped = {{"/disk/locked", "cannot be read"}};
    return out;
  }
  disks::ApplyOutcome Apply(const QString&, const std::vector<store::DiffEntry>&, const store::RefreshTexts&,
                            disks::RunState&) override {
    return {};
  }
};

class StoppableWindow : public testsupport::StandInWindow {
 public:
  disks::DiskService& Disks() override { return disks_; }

 private:
  StoppableDisks disks_;
};

TEST_F(CompareWindowTest, RowsShowWhileTheWalkGoesOnAndStopKeepsThemWithWhatWasNotSeen) {
  StoppableWindow services;
  TfrmCompare form(services);
  disks::CompareModel& m = form.Model();
  int rowsWhileRunning = -1;
  bool tickableWhileRunning = true;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!form.Running() || m.rowCount() == 0) return;
    watch.stop();
    rowsWhileRunning = m.rowCount();
    tickableWhileRunning = m.flags(m.index(0, disks::CompareModel::Tick)).testFlag(Qt::ItemIsUserCheckable);
    EXPECT_EQ(Get<QLabel>(&form, "CompareCounts")->text(), "2 found so far");
    Get<QPushButton>(&form, "btnStop")->click();
  });
  watch.start(5);
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return rowsWhileRunning >= 0 && !form.Running(); }, 10000));
  // Met rows show at once, not to be ticked until the compare has ended.
  EXPECT_EQ(rowsWhileRunning, 2);
  EXPECT_FALSE(tickableWhileRunning);
  EXPECT_TRUE(Get<QLabel>(&form, "CompareProgress")->text().startsWith("Stopped: 2 files looked at"))
      << Get<QLabel>(&form, "CompareProgress")->text().toStdString();
  ASSERT_EQ(m.rowCount(), 2);
  EXPECT_TRUE(m.flags(m.index(0, disks::CompareModel::Tick)).testFlag(Qt::ItemIsUserCheckable));
  EXPECT_EQ(Get<QCheckBox>(&form, "chkbxChanged")->text(), "Changed: 1");
  // What was not compared is named above the grid.
  QLabel* notConnected = Get<QLabel>(&form, "NotConnected");
  EXPECT_TRUE(notConnected->isVisible());
  EXPECT_EQ(notConnected->text(), "Not connected, not compared: USBDISK");
  QListWidget* skipped = Get<QListWidget>(&form, "SkippedFolders");
  ASSERT_EQ(skipped->count(), 1);
  EXPECT_EQ(skipped->item(0)->text(), "/disk/locked - cannot be read");
}

// The window's services with a catalogue that cannot be written.
class ReadOnlyDisks : public testsupport::StandInWindow {
 public:
  explicit ReadOnlyDisks(TDataModule1& dm)
      : StandInWindow(&dm), disks_(dm, disks::TableDisks::Hooks{[] { return QString("read-only here"); }, {}, {}}) {}
  disks::DiskService& Disks() override { return disks_; }
  QString CurrentCatalog() const override { return "Temporary"; }

 private:
  disks::TableDisks disks_;
};

TEST_F(CompareWindowTest, AReadOnlyCatalogueIsComparedButNotChanged) {
  Prepare();
  ReadOnlyDisks services(*dm_);
  TfrmCompare form(services);
  form.show();
  Compared(form);
  EXPECT_EQ(form.Model().rowCount(), 4);
  Get<QCheckBox>(&form, "chkbxNew")->click();
  QPushButton* apply = Get<QPushButton>(&form, "btnApply");
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_EQ(apply->toolTip(), "read-only here");
}

}  // namespace
