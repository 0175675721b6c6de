// The add-files dialog as a user meets it: the folder's files narrowed by a
// mask, the path label as files are chosen, Add without a choice, Exit
// during an edit, and the folder and mask offered next time.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>


#include "addtocatalog.h"
#include "batchcontroller.h"
#include "batchpass.h"
#include "createdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "filelist.h"
#include "folderlisting.h"
#include "foldertree.h"
#include "pathlabel.h"
#include "prompts.h"
#include "recordcounts.h"
#include "settings.h"
#include "standinwindow.h"
#include "tablebatch.h"

namespace {

// A widget of a window, by its name.
template <class T>
T* Child(const QWidget* window, const char* name) {
  T* found = window->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

class AddFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings("Brannock", "Vantrell").clear();
    prompts::SetCurrent(&scripted_);
    folder_ = dir_.path() + "/files";
    QDir().mkpath(folder_ + "/sub");
    for (const char* name : {"a.txt", "B.LOG", "c.doc", ".hidden.txt", "noext"}) {
      QFile f(folder_ + "/" + name);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString data = dir_.path() + "/data";
    QDir().mkpath(data);
    ASSERT_TRUE(store::CreateDatabaseFiles(data).ok());
    dm_.DataModule1Create(data);
    dm_.ApTable1.Open();
  }
  void TearDown() override { prompts::SetCurrent(nullptr); }

  // The names the list shows, in order, once the folder is read.
  static QStringList Listed(TRzFileListBox* list) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return list->Loaded(); }, 5000));
    QTest::qWait(50);
    QStringList names;
    for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
      names << list->model()->index(row, 0, list->rootIndex()).data().toString();
    return names;
  }

  QTemporaryDir dir_;
  QString folder_;
  prompts::ScriptedPrompts scripted_;
  TDataModule1 dm_;
};

TEST_F(AddFilesTest, MaskChoiceAddAndExit) {
  {
    TSettings s;
    s.Write(settings::kAddStrtDir, QDir::toNativeSeparators(folder_) + "/");
    s.Write(settings::kAddStrtExt, "*.txt;*.log");
  }
  testsupport::StandInWindow window(&dm_);
  int released = 0;
  TfrmAddToCatalog dialog(window, [&] { ++released; });
  auto* mask = Child<QLineEdit>(&dialog, "Edit1");
  auto* files = Child<TRzFileListBox>(&dialog, "RzFileListBox1");
  auto* add = Child<QToolButton>(&dialog, "sbtnSave");
  auto* exit = Child<QToolButton>(&dialog, "sbtnExit");
  dialog.show();
  EXPECT_EQ(mask->text(), "*.txt;*.log");
  EXPECT_EQ(Listed(files), (QStringList{"a.txt", "B.LOG"})) << "letter case aside; no hidden file";
  EXPECT_EQ(dialog.AddPathText(), folder_ + "/");
  EXPECT_FALSE(add->isEnabled());

  // Add with nothing chosen: a box with Cancel only, and the dialog stays.
  add->setEnabled(true);
  add->click();
  EXPECT_EQ(scripted_.Last().text, "No files are selected.");
  EXPECT_EQ(scripted_.Last().buttons, prompts::Cancel);
  EXPECT_TRUE(dialog.isVisible());

  const QModelIndex first = files->model()->index(0, 0, files->rootIndex());
  files->setCurrentIndex(first);
  files->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(dialog.AddPathText(), folder_ + "/a.txt");
  EXPECT_TRUE(add->isEnabled());
  files->selectionModel()->select(files->model()->index(1, 0, files->rootIndex()), QItemSelectionModel::Select);
  EXPECT_EQ(dialog.AddPathText(), "2 files have been selected.");
  EXPECT_EQ(dialog.SelectedNames(), (QStringList{"a.txt", "B.LOG"}));
  add->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Folder(), folder_);

  // The next use starts with nothing chosen; every file with "*.*", folders never.
  dialog.show();
  EXPECT_EQ(files->SelectedCount(), 0);
  mask->setText("*.*");
  EXPECT_EQ(Listed(files), (QStringList{"a.txt", "B.LOG", "c.doc", "noext"}));

  // Exit during an edit drops the edit and says so; the buttons go up.
  dm_.ApTable1.Edit();
  exit->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(window.LastStatus(), " Cleared...");
  EXPECT_EQ(dm_.ApTable1.GetState(), xbase::State::Browse);
  EXPECT_EQ(released, 1);

  // A record with typed changes is not dropped without the user's word:
  // Cancel keeps the edit, Yes stores it.
  xbase::Table& t = dm_.ApTable1;
  t.Append();
  t.SetFieldByName("FLNAME", "/x/a");
  t.Post();
  t.Edit();
  t.SetFieldByName("FLTITLE", "typed");
  scripted_.Answer(prompts::Cancel);
  dialog.show();
  exit->click();
  EXPECT_EQ(scripted_.Last().buttons, prompts::Yes | prompts::No | prompts::Cancel);
  EXPECT_EQ(t.GetState(), xbase::State::Edit);
  EXPECT_EQ(released, 1);
  scripted_.Answer(prompts::Yes);
  dialog.show();
  exit->click();
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "typed");
  EXPECT_EQ(released, 2);
  TSettings s;
  EXPECT_EQ(s.Read(settings::kAddStrtDir), QDir::toNativeSeparators(folder_) + "/");
  EXPECT_EQ(s.Read(settings::kAddStrtExt), "*.*");
}

// The folder tree shows the folders as they are: those made or removed
// since the dialog was last used, on opening it again, on opening a folder
// in the tree and on F5.
TEST_F(AddFilesTest, FolderTreeShowsFoldersMadeMeanwhile) {
  {
    TSettings s;
    s.Write(settings::kAddStrtDir, QDir::toNativeSeparators(folder_) + "/");
  }
  testsupport::StandInWindow window(&dm_);
  TfrmAddToCatalog dialog(window, [] {});
  Tdirtree* tree = Child<Tdirtree>(&dialog, "dirtree1");
  const auto below = [&](const QModelIndex& at) {
    QStringList names;
    for (int r = 0; r < tree->model()->rowCount(at); ++r) names << tree->model()->index(r, 0, at).data().toString();
    return names;
  };
  dialog.show();
  const QPersistentModelIndex top = tree->currentIndex();
  EXPECT_EQ(tree->Directory(), QDir::toNativeSeparators(folder_) + "/");
  tree->expand(top);
  EXPECT_EQ(below(top), QStringList{"sub"});
  Child<QToolButton>(&dialog, "sbtnExit")->click();

  QDir().mkpath(folder_ + "/made");
  dialog.show();
  EXPECT_EQ(below(top), (QStringList{"made", "sub"})) << "read again when the dialog opens";

  const QPersistentModelIndex sub = tree->model()->index(1, 0, top);
  tree->expand(sub);
  EXPECT_TRUE(below(sub).isEmpty());
  tree->collapse(sub);
  QDir().mkpath(folder_ + "/sub/inner");
  tree->expand(sub);
  EXPECT_EQ(below(sub), QStringList{"inner"}) << "read again when it is opened";

  // F5 reads again what is shown; a selected folder that is gone gives
  // way to its parent, and the file list follows.
  tree->SetDirectory(folder_ + "/made");
  QDir().mkpath(folder_ + "/new");
  QDir(folder_ + "/made").removeRecursively();
  QTest::keyClick(tree, Qt::Key_F5);
  EXPECT_EQ(below(top), (QStringList{"new", "sub"}));
  EXPECT_EQ(tree->Directory(), QDir::toNativeSeparators(folder_) + "/");
  EXPECT_EQ(QDir::cleanPath(Child<TRzFileListBox>(&dialog, "RzFileListBox1")->Directory()), QDir::cleanPath(folder_));
  EXPECT_EQ(below(sub), QStringList{"inner"}) << "what was open stays open";
}

// A whole folder tree: every matching file below the folder, folder by
// folder in name order; no hidden folder, no link followed (a loop would
// never end), and the walk stops when told.
TEST_F(AddFilesTest, IncludeSubfoldersTakesTheTree) {
  const QString root = dir_.path() + "/tree";
  for (const char* name : {"a.txt", "x.doc", "sub/b.txt", "sub/deep/c.TXT", ".hid/d.txt", "sub/.e.txt"}) {
    QDir().mkpath(QFileInfo(root + "/" + name).path());
    QFile f(root + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(QFile::link(root, root + "/sub/loop"));
  // A link to a file is that file; a dangling link and a pipe are no files.
  ASSERT_TRUE(QFile::link(root + "/a.txt", root + "/sub/linked.txt"));
  ASSERT_TRUE(QFile::link(root + "/none.txt", root + "/sub/dangling.txt"));
#ifdef Q_OS_UNIX
  ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/pipe.txt").constData(), 0600), 0);
#endif
  QStringList found, skipped;
  const auto walk = [&](const QString& folder, const QString& mask, bool otherFileSystems) {
    found.clear();
    skipped.clear();
    return addfiles::ListTree(
        folder, mask, otherFileSystems, [&](const QString& n) { found << n; return true; },
        [&](const QString& f, const QString& why) { skipped << why + ": " + f; });
  };
  EXPECT_TRUE(walk(root, "*.txt", false));
  EXPECT_EQ(found, (QStringList{"a.txt", "sub/b.txt", "sub/linked.txt", "sub/deep/c.TXT"}));
  EXPECT_TRUE(skipped.isEmpty());
  found.clear();
  EXPECT_FALSE(addfiles::ListTree(root, "*.*", false, [&](const QString& n) { found << n; return false; },
                                  [](const QString&, const QString&) {}));
  EXPECT_EQ(found.size(), 1);

#ifdef Q_OS_LINUX
  // The system's pseudo file systems are never walked, not even when asked
  // for from their own folder; another file system below the folder is
  // walked only when the user asks for it, and named when it is not.
  EXPECT_TRUE(walk("/proc", "*", true));
  EXPECT_TRUE(found.isEmpty());
  EXPECT_EQ(skipped, QStringList{"system file system: /proc"});
  const listing::FolderEntries top = listing::ReadFolderEntries("/", listing::NameMasks("*"), true, nullptr);
  const listing::TreeBounds bounded(true);
  const listing::FolderEntries kept = listing::ReadFolderEntries("/", listing::NameMasks("*"), true, &bounded);
  for (const char* pseudo : {"proc", "sys"})
    if (top.folders.contains(pseudo)) {
      EXPECT_FALSE(kept.folders.contains(pseudo)) << pseudo;
      EXPECT_TRUE(kept.systemFolders.contains(pseudo)) << pseudo;
    }
  struct stat dev, shm;
  if (::stat("/dev/shm", &shm) == 0 && ::stat("/dev", &dev) == 0 && shm.st_dev != dev.st_dev) {
    const listing::TreeBounds stay(false);
    EXPECT_EQ(listing::ReadFolderEntries("/dev", listing::NameMasks("*"), true, &stay).otherFileSystems,
              QStringList{"shm"});
    EXPECT_TRUE(listing::ReadFolderEntries("/dev", listing::NameMasks("*"), true, &bounded).folders.contains("shm"));
  }
#endif

  // In the dialog: Add takes the folder without a chosen file; the choice
  // is remembered.
  testsupport::StandInWindow window(&dm_);
  TfrmAddToCatalog dialog(window, [] {});
  dialog.show();
  auto* add = Child<QToolButton>(&dialog, "sbtnSave");
  auto* subfolders = Child<QCheckBox>(&dialog, "chkSubfolders");
  auto* otherFileSystems = Child<QCheckBox>(&dialog, "chkOtherFs");
  EXPECT_FALSE(add->isEnabled());
  EXPECT_FALSE(otherFileSystems->isEnabled());
  EXPECT_FALSE(otherFileSystems->isChecked()) << "the walk stays on its file system unless asked";
  subfolders->setChecked(true);
  EXPECT_TRUE(add->isEnabled());
  EXPECT_TRUE(otherFileSystems->isEnabled());
  otherFileSystems->setChecked(true);
  add->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.WholeTree());
  EXPECT_TRUE(TSettings().Read(settings::kAddSubFldrs));
  EXPECT_TRUE(TSettings().Read(settings::kAddOtherFs));
}

// The add pass stores each file whole or not at all: a path longer than
// the path field, and a name that is no UTF-8 text, are left out with the
// reason and not counted; odd characters are stored as they are.
TEST_F(AddFilesTest, AddPassLeavesOutWhatCannotBeStored) {
  const QString root = dir_.path() + "/odd";
  const QString deep = QString(200, u'd');
  QDir().mkpath(root + "/" + deep);
  const QString longName = QString(40, u'\u00e9') + ".txt";  // 84 bytes: its title would be 100
  QStringList names{"it's \"quoted\" & 100%.txt", deep + "/" + QString(60, u'n') + ".txt", "été 日本.txt", longName};
  for (const QString& n : names) {
    QFile f(root + "/" + n);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << n.toStdString();
    f.write("12345");
  }
#ifdef Q_OS_LINUX
  const QByteArray raw = QFile::encodeName(root) + "/bad\xff.txt";
  const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ::close(fd);
  names = TRzFileListBox::ReadFolder(root, "*.txt") + QStringList{names[1]};
  ASSERT_EQ(names.size(), 5);
#endif
  const addfiles::PassResult r = addfiles::AddFiles(dm_.ApTable1, "Odd", root, names, {});
  EXPECT_EQ(r.done, 3);
  EXPECT_EQ(r.shortened, QStringList{longName}) << "a title cut to its field is told";
  QStringList why;
  for (const addfiles::Skipped& s : r.skipped) why << s.why;
#ifdef Q_OS_LINUX
  EXPECT_EQ(why, (QStringList{"its name is not UTF-8 text and cannot be stored", "its path is longer than 255 bytes"}));
#else
  EXPECT_EQ(why, (QStringList{"its path is longer than 255 bytes"}));
#endif
  xbase::Table& t = dm_.ApTable1;
  EXPECT_EQ(t.RecordCount(), 3);
  ASSERT_TRUE(t.Locate("FLNAME", store::ToUtf8(root + "/" + longName)));
  EXPECT_EQ(store::FromUtf8(t.FieldByName("FLTITLE")), "new record ~~~~ " + QString(32, u'\u00e9'));
  ASSERT_TRUE(t.Locate("FLNAME", store::ToUtf8(QDir::toNativeSeparators(root + "/it's \"quoted\" & 100%.txt"))));
  EXPECT_EQ(t.FieldByName("FLSIZE"), "5");
  EXPECT_EQ(t.FieldByName("FLTITLE"), "new record ~~~~ it's \"quoted\" & 100%.txt");
  EXPECT_TRUE(t.Locate("FLNAME", store::ToUtf8(root + "/été 日本.txt")));
}

// The batch form's logic without the form: an add through the batch
// service counts what it stored, leaves the record added last current and
// tells the file it left out; a stopped delete says how far it came; a move
// goes only to a catalog of the list.
TEST_F(AddFilesTest, BatchControllerRunsThePassWithoutTheForm) {
  RecordCounts counts;
  counts.SetTotal(5);
  addfiles::TableBatch batch(dm_.ApTable1, counts);
  addfiles::BatchController add(batch, BatchMode::Add);
  add.SetFiles(folder_, {"a.txt", "gone.txt", "B.LOG"});
  addfiles::BatchReport report = add.Run("C", {}, {});
  EXPECT_EQ(report.status, "Add complete.... ");
  EXPECT_EQ(report.skipped, "1 file was not added:\ngone.txt: it is no longer there");
  EXPECT_EQ(counts.Catalog(), 2);
  EXPECT_EQ(counts.Total(), 7);
  EXPECT_EQ(dm_.ApTable1.FieldByName("FLTITLE"), "new record ~~~~ B.LOG");

  addfiles::BatchController remove(batch, BatchMode::Delete);
  remove.SetRecords({dm_.ApTable1.RecNo()});
  report = remove.Run("C", {}, [](int64_t, int64_t) { return false; });
  EXPECT_EQ(report.status, " Stopped: 0 records done.");
  EXPECT_EQ(counts.Total(), 7);

  EXPECT_EQ(addfiles::BatchController::MoveRefusal("Nope", {"B"}), "\"Nope\" is not a catalog. Choose one of the list.");
  EXPECT_EQ(addfiles::BatchController::MoveRefusal("B", {}), "There is no other catalog to move the records to.");
  EXPECT_EQ(addfiles::BatchController::MoveRefusal("B", {"A", "B"}), "");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName("Brannock");
  QCoreApplication::setApplicationName("Vantrell");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
