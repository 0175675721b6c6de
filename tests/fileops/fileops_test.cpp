// The File menu's commands as a user meets them, on real files in
// temporary folders: the dialog and its proposals, every question and its
// answers, what happens on disk and to the record, the status texts, and
// the failures that must lose nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <thread>

#include <unistd.h>

#include "createdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "destination.h"
#include "filecommand.h"
#include "fileoperations.h"
#include "filetransfer.h"
#include "prompts.h"
#include "settings.h"
#include "standinwindow.h"

namespace {

using fileops::Operation;
using fileops::TfrmFileOperations;
using Call = prompts::ScriptedPrompts::Call;

// The dialog's widgets, by the names the program's documents give them.
template <class T>
T* Named(QWidget& form, const char* name) {
  T* widget = form.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}
QLabel* Label(QWidget& form, const char* name) { return Named<QLabel>(form, name); }
QLineEdit* Edit2(QWidget& form) { return Named<QLineEdit>(form, "Edit2"); }
QToolButton* Button(QWidget& form, const char* name) { return Named<QToolButton>(form, name); }

QByteArray Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class FileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = dir_.path();
    // The user's home, data and trash folders are this test's own.
    qputenv("HOME", root_.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root_ + "/share").toLocal8Bit());
    prompts::SetCurrent(&scripted_);
    const QString data = root_ + "/data";
    QDir().mkpath(data);
    ASSERT_TRUE(store::CreateDatabaseFiles(data).ok());
    dm_.DataModule1Create(data);
    dm_.ApTable1.Open();
    window_ = std::make_unique<testsupport::StandInWindow>(&dm_, root_ + "/settings.ini");
  }
  void TearDown() override {
    window_.reset();
    prompts::SetCurrent(nullptr);
  }

  // A file on disk and its record, made current; both counters count it.
  QString AddFile(const QString& path, const QByteArray& bytes = "original") {
    Write(path, bytes);
    xbase::Table& t = dm_.ApTable1;
    t.Append();
    t.SetFieldByName("Catalog", "C");
    t.SetFieldByName("FLTITLE", "title of " + store::ToUtf8(QFileInfo(path).fileName()));
    t.SetFieldByName("FLNAME", store::ToUtf8(path));
    t.SetFieldByName("FLSIZE", "8");
    t.SetFieldByName("FLDATE", "01/02/2020 10:11:12");
    t.Post();
    dm_.Counts.SetCatalog((int)t.RecordCount());
    dm_.Counts.SetTotal((int)t.RecordCount());
    return path;
  }

  QString RecordPath() { return store::FromUtf8(dm_.ApTable1.FieldByName("FLNAME")); }

  // Runs one command; `act` works the dialog once it is shown.
  void Run(Operation op, const std::function<void(TfrmFileOperations&)>& act) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* form = qobject_cast<TfrmFileOperations*>(QApplication::activeModalWidget());
      ASSERT_NE(form, nullptr);
      shown = true;
      act(*form);
      // A test that left it open (a refused close) ends it with Exit.
      if (form->isVisible()) Button(*form, "sbtnClose")->click();
    });
    fileops::TFileCommand(*window_, [this](const QString& text) { window_->SetStatusText(text); }).Run(op);
    EXPECT_TRUE(shown);
  }
  // The dialog given a destination and its action button pressed.
  void RunTo(Operation op, const QString& destination) {
    Run(op, [&](TfrmFileOperations& form) {
      Edit2(form)->setText(destination);
      Button(form, "sbtnFileOps")->click();
    });
  }

  QString Remembered() const {
    return QSettings(root_ + "/settings.ini", QSettings::IniFormat).value("StartUp/cmrStrtDir").toString();
  }

  QTemporaryDir dir_;
  QString root_;
  prompts::ScriptedPrompts scripted_;
  TDataModule1 dm_;
  // The main window: the record session over the test's table, every text
  // of the first status panel in order, and those that started its
  // clearing timer.
  std::unique_ptr<testsupport::StandInWindow> window_;
};

// Folder and name parts, joining and the remembered folder, as paths
// without drive letters have them.
TEST(DestinationPaths, FolderNameAndProposal) {
  using namespace fileops;
  EXPECT_EQ(FolderPart("/home/u/a.txt"), "/home/u");
  EXPECT_EQ(FolderPart("/a.txt"), "/");
  EXPECT_EQ(FolderPart("a.txt"), "");
  EXPECT_EQ(NamePart("/home/u/a.txt"), "a.txt");
  EXPECT_EQ(JoinPath("/docs", "a.txt"), "/docs/a.txt");
  EXPECT_EQ(JoinPath("/docs/", "a.txt"), "/docs/a.txt") << "one separator";
  EXPECT_EQ(ProposedDestination("/docs", "/x/a.txt", "/home/u"), "/docs/a.txt");
  EXPECT_EQ(ProposedDestination("", "/x/a.txt", "/home/u"), "/home/u/a.txt") << "nothing remembered";
  EXPECT_EQ(ProposedDestination("C:", "/x/a.txt", "/home/u"), "/home/u/a.txt") << "no root here";
  EXPECT_EQ(RememberedFolder("/docs/a.txt"), "/docs");
  EXPECT_EQ(RememberedFolder("/a.txt"), "/");
  EXPECT_EQ(RememberedFolder(""), "") << "no folder: the next proposal is the default";
}

// Where paths have drive letters, a typed drive that cannot be read is
// asked about until it can or the user cancels; other texts are not checked.
TEST(DriveCheck, RetriesUntilReadyOrCancelled) {
  prompts::ScriptedPrompts scripted;
  prompts::ScopedPrompts use(&scripted);
  int asked = 0;
  const auto readyOnThird = [&](QChar drive) {
    EXPECT_EQ(drive, u'D');
    return ++asked == 3;
  };
  scripted.Answer(prompts::Retry);
  scripted.Answer(prompts::Retry);
  fileops::WaitForDrive(nullptr, "d:\\docs", readyOnThird);
  EXPECT_EQ(scripted.Beeps(), 2);
  EXPECT_EQ(scripted.Texts(), QStringList(2, "D:\\ is not accessible.\n\nThe device is not ready."));
  EXPECT_EQ(scripted.Last().buttons, prompts::Retry | prompts::Cancel);
  scripted.Clear();
  scripted.Answer(prompts::Cancel);
  fileops::WaitForDrive(nullptr, "E:\\", [](QChar) { return false; });
  EXPECT_EQ(scripted.Count(Call::Message), 1);
  fileops::WaitForDrive(nullptr, "/media/usb", [](QChar) { return false; });
  EXPECT_EQ(scripted.Count(Call::Message), 1);
}

TEST_F(FileOpsTest, CopyProposesTheRememberedFolderAndLeavesTheRecord) {
  const QString source = AddFile(root_ + "/files/a.txt");
  const QString target = root_ + "/target";
  QDir().mkpath(target);
  // The first copy ever proposes the home folder.
  Run(Operation::Copy, [&](TfrmFileOperations& form) {
    EXPECT_EQ(form.windowTitle(), "Copy File");
    EXPECT_EQ(Label(form, "Label1")->text(), "From:");
    EXPECT_EQ(Label(form, "Label2")->text(), "To:");
    EXPECT_EQ(Label(form, "Label3")->text(), source);
    EXPECT_EQ(Edit2(form)->text(), root_ + "/a.txt");
    EXPECT_EQ(Button(form, "sbtnFileOps")->text(), "Copy");
    EXPECT_EQ(Button(form, "sbtnFileOps")->toolTip(), "Copy File");
    EXPECT_FALSE(Button(form, "sbtnFileOps")->icon().isNull());
    EXPECT_FALSE(Button(form, "sbtnBrowse")->isHidden());
    EXPECT_EQ(Button(form, "sbtnClose")->text(), "Exit");
    EXPECT_GT(window_->flatPasses, 0);
    // Another folder typed: the copy goes there, the proposal is remembered.
    Edit2(form)->setText(target + "/copy of a.txt");
    Button(form, "sbtnFileOps")->click();
  });
  EXPECT_EQ(Read(target + "/copy of a.txt"), "original");
  EXPECT_EQ(Read(source), "original");
  EXPECT_EQ(RecordPath(), source);
  EXPECT_EQ(window_->panel, (QStringList{"Copy started...", " Copied..." + target + "/copy of a.txt", " Operation complete..."}));
  EXPECT_EQ(window_->timed, QStringList{" Operation complete..."});
  EXPECT_EQ(Remembered(), root_);
  EXPECT_TRUE(window_->zipFolder.isEmpty());
  EXPECT_EQ(scripted_.Count(Call::Message), 0);

  // A remembered folder, with or without its closing separator, proposes
  // that folder and the file's name with one separator between them.
  for (const QString& remembered : {target, target + "/"}) {
    window_->Settings().Write(settings::kCmrStrtDir, remembered);
    Run(Operation::Move, [&](TfrmFileOperations& form) {
      EXPECT_EQ(Edit2(form)->text(), target + "/a.txt");
      EXPECT_EQ(form.ChosenFolder(), target + "/a.txt");
      Button(form, "sbtnClose")->click();
    });
  }
}

TEST_F(FileOpsTest, OverwriteIsAskedAndNoKeepsTheOldFile) {
  const QString source = AddFile(root_ + "/files/a.txt", "new");
  const QString target = root_ + "/target/a.txt";
  Write(target, "old");
  scripted_.Answer(prompts::No);
  RunTo(Operation::Copy, target);
  ASSERT_EQ(scripted_.Count(Call::Message), 1);
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Warning);
  EXPECT_EQ(scripted_.Last().text, "A.TXT exists on the destination drive.\nDo want to overwrite it?");
  EXPECT_EQ(scripted_.Last().buttons, prompts::Yes | prompts::No);
  EXPECT_EQ(scripted_.Last().defaultButton, prompts::Yes);
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(window_->panel, (QStringList{"Copy started...", "Operation cancelled...", " Operation complete..."}));

  // Yes: replaced, and nothing but the file is left in its folder.
  scripted_.Answer(prompts::Yes);
  RunTo(Operation::Copy, target);
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(Entries(root_ + "/target"), QStringList{"a.txt"});
  EXPECT_EQ(QFileInfo(target).lastModified(), QFileInfo(source).lastModified()) << "the copy keeps its date";
}

TEST_F(FileOpsTest, MissingFolderIsCreatedOnYesAndNoStops) {
  AddFile(root_ + "/files/a.txt");
  scripted_.Answer(prompts::No);
  RunTo(Operation::Copy, root_ + "/new/a.txt");
  EXPECT_EQ(scripted_.Last().text, "Directory does not exist\nDo you want to create it?");
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Error);
  EXPECT_FALSE(QFileInfo::exists(root_ + "/new"));
  EXPECT_EQ(window_->panel.last(), " ");
  EXPECT_TRUE(window_->timed.isEmpty()) << "a stop leaves the timer alone";

  scripted_.Answer(prompts::Yes);
  RunTo(Operation::Copy, root_ + "/new/a.txt");
  EXPECT_EQ(Read(root_ + "/new/a.txt"), "original");
  EXPECT_EQ(window_->timed, QStringList{" Operation complete..."});

  // One level only: a folder whose parent is missing is a message, and the
  // program goes on.
  scripted_.Clear();
  scripted_.Answer(prompts::Yes);
  RunTo(Operation::Copy, root_ + "/x/y/a.txt");
  ASSERT_EQ(scripted_.Count(Call::Message), 2);
  EXPECT_TRUE(scripted_.Last().text.startsWith("The folder\n[" + root_ + "/x/y]\ncould not be created.\n"))
      << scripted_.Last().text.toStdString();
  EXPECT_FALSE(QFileInfo::exists(root_ + "/x"));
  EXPECT_EQ(window_->panel.last(), " ");
}

TEST_F(FileOpsTest, MoveAndRenameTakeTheRecordAlong) {
  const QString source = AddFile(root_ + "/files/a.txt");
  QDir().mkpath(root_ + "/target");
  // A folder as the destination takes the file under its own name.
  RunTo(Operation::Move, root_ + "/target");
  const QString moved = root_ + "/target/a.txt";
  EXPECT_FALSE(QFileInfo::exists(source));
  EXPECT_EQ(Read(moved), "original");
  xbase::Table& t = dm_.ApTable1;
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_EQ(RecordPath(), moved);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "title of a.txt");
  EXPECT_EQ(t.FieldByName("FLSIZE"), "8");
  EXPECT_EQ(t.FieldByName("FLDATE"), "01/02/2020 10:11:12");
  EXPECT_EQ(window_->panel.mid(1), (QStringList{" Moved..." + moved, " Operation complete..."}));

  window_->panel.clear();
  const QString renamed = root_ + "/target/b|c.txt";
  Run(Operation::Rename, [&](TfrmFileOperations& form) {
    EXPECT_EQ(form.windowTitle(), "Rename File");
    Edit2(form)->setText(renamed);
    Button(form, "sbtnFileOps")->click();
  });
  EXPECT_FALSE(QFileInfo::exists(moved));
  EXPECT_EQ(Read(renamed), "original");
  EXPECT_EQ(RecordPath(), renamed);
  EXPECT_EQ(window_->panel, (QStringList{"Rename started...", " Renamed..." + renamed, " Operation complete..."}));
  EXPECT_EQ(dm_.Counts.Total(), 1);

  // A "|" in the record's path is part of the path, nothing else.
  RunTo(Operation::Copy, root_ + "/copy.txt");
  EXPECT_EQ(Read(root_ + "/copy.txt"), "original");
}

// A move to another file system is a copy that takes the destination's
// place before the source goes.
TEST_F(FileOpsTest, MoveAcrossFileSystemsRemovesTheSourceLast) {
  QTemporaryDir other(QStringLiteral("/dev/shm/vantrell-fileops-XXXXXX"));
  if (!other.isValid() || QStorageInfo(other.path()).device() == QStorageInfo(root_).device())
    GTEST_SKIP() << "no second file system to move to";
  const QString source = AddFile(other.path() + "/a.txt", "far away");
  const QString target = root_ + "/target/a.txt";
  Write(target, "old");
  scripted_.Answer(prompts::Yes);
  RunTo(Operation::Move, target);
  EXPECT_EQ(Read(target), "far away");
  EXPECT_FALSE(QFileInfo::exists(source));
  EXPECT_EQ(Entries(root_ + "/target"), QStringList{"a.txt"});
  EXPECT_EQ(RecordPath(), target);
}

TEST_F(FileOpsTest, FailedTransfersLoseNothing) {
  // A source that fails while it is read: the destination's old file stays,
  // whole, and nothing is left beside it; the record stays.
  const QString unreadable = QStringLiteral("/proc/self/mem");
  AddFile(root_ + "/files/a.txt");
  xbase::Table& t = dm_.ApTable1;
  t.Edit();
  t.SetFieldByName("FLNAME", store::ToUtf8(unreadable));
  t.Post();
  const QString target = root_ + "/target/mem";
  Write(target, "old");
  for (Operation op : {Operation::Copy, Operation::Move}) {
    scripted_.Clear();
    scripted_.Answer(prompts::Yes);
    RunTo(op, target);
    ASSERT_EQ(scripted_.Count(Call::Message), 2);
    EXPECT_TRUE(scripted_.Last().text.startsWith("Operation failed.")) << scripted_.Last().text.toStdString();
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Entries(root_ + "/target"), QStringList{"mem"});
    EXPECT_EQ(RecordPath(), unreadable);
    EXPECT_EQ(window_->panel.last(), " ");
  }

  // The file onto itself: refused before anything is asked or touched.
  t.Edit();
  t.SetFieldByName("FLNAME", store::ToUtf8(root_ + "/files/a.txt"));
  t.Post();
  scripted_.Clear();
  RunTo(Operation::Copy, root_ + "/files/a.txt");
  EXPECT_EQ(scripted_.Texts(), QStringList{"The source and the destination are the same file:\n" + root_ + "/files/a.txt"});
  EXPECT_EQ(Read(root_ + "/files/a.txt"), "original");

  // A path the record could not hold: the file is not moved.
  scripted_.Clear();
  const QString deep = root_ + "/" + QString(250, u'd') + "/a.txt";
  RunTo(Operation::Move, deep);
  ASSERT_EQ(scripted_.Count(Call::Message), 1);
  EXPECT_TRUE(scripted_.Last().text.startsWith("The path of this file is longer than 255 bytes"));
  EXPECT_TRUE(QFileInfo::exists(root_ + "/files/a.txt"));
  EXPECT_EQ(RecordPath(), root_ + "/files/a.txt");
}

// A copy stopped halfway (Cancel) leaves the source and the file it was to
// replace as they were and no part of a file beside them; a move across
// file systems stopped so keeps its source.
TEST_F(FileOpsTest, StoppedCopyLeavesEverythingAsItWas) {
  const QByteArray big(3 << 20, 'x');
  const QString source = root_ + "/files/big.bin", target = root_ + "/target/big.bin";
  Write(source, big);
  Write(target, "old");
  int64_t seen = 0, whole = 0;
  const auto stopAfterFirstPiece = [&](int64_t done, int64_t total) {
    seen = done;
    whole = total;
    return done == 0;
  };
  fileops::Outcome out = fileops::CopyReplacing(source, target, stopAfterFirstPiece);
  EXPECT_EQ(out.state, fileops::Outcome::State::Cancelled);
  EXPECT_GT(seen, 0);
  EXPECT_EQ(whole, big.size());
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Read(source), big);
  EXPECT_EQ(Entries(root_ + "/target"), QStringList{"big.bin"});
  QTemporaryDir other(QStringLiteral("/dev/shm/vantrell-fileops-XXXXXX"));
  if (other.isValid() && QStorageInfo(other.path()).device() != QStorageInfo(root_).device()) {
    out = fileops::MoveReplacing(source, other.path() + "/big.bin", stopAfterFirstPiece);
    EXPECT_EQ(out.state, fileops::Outcome::State::Cancelled);
    EXPECT_EQ(Read(source), big);
    EXPECT_TRUE(Entries(other.path()).isEmpty());
  }
  out = fileops::CopyReplacing(source, target, [](int64_t, int64_t) { return true; });
  EXPECT_TRUE(out.ok());
  EXPECT_EQ(Read(target), big);
}

// While a long copy runs the window stays alive: a progress window shows the
// bytes done of all, and its Cancel stops the work.
TEST(TransferProgress, ShowsBytesAndCancelStopsTheWork) {
  QString shownText;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QProgressDialog*>(w);
      if (dialog == nullptr || dialog->objectName() != "TransferProgress" || !dialog->isVisible()) continue;
      if (!dialog->labelText().contains(" of ")) continue;
      shownText = dialog->labelText();
      if (auto* cancel = dialog->findChild<QPushButton*>()) cancel->click();
    }
  });
  watch.start(20);
  int pieces = 0;
  const fileops::Outcome out =
      fileops::WithProgress(nullptr, "Copy File", "Copying a.bin", [&](const fileops::Progress& progress) {
        // A slow disk: a piece every 10 ms, for at most 30 s.
        for (; pieces < 3000; ++pieces) {
          if (!progress((int64_t)pieces << 20, (int64_t)3000 << 20)) return fileops::Outcome{fileops::Outcome::State::Cancelled, {}};
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return fileops::Outcome{fileops::Outcome::State::Done, {}};
      });
  EXPECT_EQ(out.state, fileops::Outcome::State::Cancelled);
  EXPECT_LT(pieces, 3000);
  EXPECT_TRUE(shownText.startsWith("Copying a.bin")) << shownText.toStdString();
  EXPECT_TRUE(shownText.endsWith(" of " + QLocale().formattedDataSize((int64_t)3000 << 20))) << shownText.toStdString();
}

// A file on a read-only file system cannot go to the trash; the message
// names that cause, not the failed fallback of the trash (a rename across
// file systems). Run in a private mount namespace where one can be made.
TEST(Trash, ReadOnlyFileSystemIsNamed) {
  const QString readOnly = qEnvironmentVariable("VANTRELL_TEST_RO_DIR");
  if (readOnly.isEmpty()) {
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (unshare.isEmpty()) GTEST_SKIP() << "no unshare to make a read-only file system with";
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/ro");
    QProcess p;
    QStringList args{"--mount", "--propagation", "private"};
    if (geteuid() != 0) args << "--map-root-user";
    args << "sh" << "-c"
         << "mount -t tmpfs tmpfs \"$1/ro\" && echo x > \"$1/ro/a.txt\" && mount -o remount,ro \"$1/ro\" || exit 77; "
            "VANTRELL_TEST_RO_DIR=\"$1/ro\" XDG_DATA_HOME=\"$1/share\" exec \"$2\" --gtest_filter=Trash.*"
         << "sh" << dir.path() << QCoreApplication::applicationFilePath();
    p.start(unshare, args);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    if (p.exitCode() == 77 || output.contains("unshare failed"))
      GTEST_SKIP() << "no read-only file system can be made here: " << output.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << output.toStdString();
    return;
  }
  const QString file = readOnly + "/a.txt";
  const fileops::Outcome out = fileops::TrashFile(file);
  EXPECT_FALSE(out.ok());
  EXPECT_TRUE(out.why.contains("Read-only file system")) << out.why.toStdString();
  EXPECT_FALSE(out.why.contains("cross-device")) << out.why.toStdString();
  EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(FileOpsTest, DeleteSendsTheFileToTheTrashWithItsRecord) {
  AddFile(root_ + "/files/keep.txt");
  const QString path = AddFile(root_ + "/files/a.txt");
  xbase::Table& t = dm_.ApTable1;
  ASSERT_EQ(dm_.Counts.Catalog(), 2);

  // Cancel: nothing changes on disk and an edit under way is dropped.
  t.Edit();
  t.SetFieldByName("FLTITLE", "typed but not saved");
  scripted_.Answer(prompts::Cancel);
  Run(Operation::Delete, [&](TfrmFileOperations& form) {
    EXPECT_EQ(form.windowTitle(), "Delete File");
    EXPECT_EQ(Label(form, "Label1")->text(), "");
    EXPECT_EQ(Label(form, "Label2")->text(), "Delete:");
    EXPECT_EQ(Label(form, "Label3")->text(), "Deleting this file will also delete its catalog entry.");
    EXPECT_EQ(Edit2(form)->text(), path);
    EXPECT_FALSE(Edit2(form)->isEnabled());
    EXPECT_TRUE(Button(form, "sbtnBrowse")->isHidden());
    Button(form, "sbtnFileOps")->click();
  });
  EXPECT_EQ(scripted_.Beeps(), 1);
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Confirmation);
  EXPECT_EQ(scripted_.Last().text, "Are you sure you want to DELETE this file?\n\nFile: [" + path + "]");
  EXPECT_EQ(scripted_.Last().buttons, prompts::Yes | prompts::Cancel);
  EXPECT_EQ(t.GetState(), xbase::State::Browse);
  EXPECT_EQ(t.FieldByName("FLTITLE"), "title of a.txt");
  EXPECT_TRUE(QFileInfo::exists(path));
  EXPECT_EQ(window_->panel, (QStringList{"Delete started...", "Delete cancelled...", " Operation complete..."}));

  // Yes: the file is in the trash, from where it can be restored; the
  // record and one of each counter go.
  window_->panel.clear();
  scripted_.Answer(prompts::Yes);
  RunTo(Operation::Delete, path);
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_EQ(Read(root_ + "/share/Trash/files/a.txt"), "original");
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_FALSE(t.Locate("FLNAME", store::ToUtf8(path)));
  EXPECT_EQ(dm_.Counts.Catalog(), 1);
  EXPECT_EQ(dm_.Counts.Total(), 1);
  EXPECT_EQ(window_->panel, (QStringList{"Delete started...", " Deleted..." + path, " Operation complete..."}));
}

TEST_F(FileOpsTest, FileThatCannotGoToTheTrashKeepsItsRecord) {
  const QString path = AddFile(root_ + "/files/a.txt");
  // Something that is no folder where the trash should be.
  Write(root_ + "/share/Trash", "in the way");
  scripted_.Answer(prompts::Yes);
  RunTo(Operation::Delete, path);
  ASSERT_EQ(scripted_.Count(Call::Message), 2) << scripted_.Texts().join("|").toStdString();
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Error);
  EXPECT_TRUE(scripted_.Last().text.startsWith("The file could not be moved to the trash:\n" + path))
      << scripted_.Last().text.toStdString();
  EXPECT_TRUE(QFileInfo::exists(path));
  EXPECT_EQ(RecordPath(), path);
  EXPECT_EQ(dm_.ApTable1.RecordCount(), 1);
  EXPECT_EQ(dm_.Counts.Catalog(), 1);
  EXPECT_EQ(window_->panel.last(), " ");
  EXPECT_TRUE(window_->timed.isEmpty());
}

TEST_F(FileOpsTest, CreateFolderMakesOneNewFolder) {
  AddFile(root_ + "/files/a.txt");
  // The zip viewer's extraction folder is proposed.
  window_->zipFolder = root_ + "/unzipped/";
  const QString folder = root_ + "/unzipped";
  QDir().mkpath(folder);
  Run(Operation::CreateFolder, [&](TfrmFileOperations& form) {
    EXPECT_EQ(form.windowTitle(), "Create Folder");
    EXPECT_EQ(Label(form, "Label2")->text(), "Create:");
    EXPECT_EQ(Label(form, "Label3")->text(), "Enter a NEW folder name, with the full path.");
    EXPECT_EQ(Edit2(form)->text(), root_ + "/unzipped/");
    Edit2(form)->setText(folder + "/new");
    Button(form, "sbtnFileOps")->click();
  });
  EXPECT_TRUE(window_->zipFolder.isEmpty()) << "proposed to one file operation only";
  EXPECT_TRUE(QFileInfo(folder + "/new").isDir());
  EXPECT_EQ(window_->panel, (QStringList{"Create Folder started...", " Created folder..." + folder + "/new",
                                         " Operation complete..."}));
  EXPECT_EQ(Remembered(), folder);

  // A folder that is there already: told, and nothing more.
  window_->panel.clear();
  window_->timed.clear();
  RunTo(Operation::CreateFolder, folder + "/new");
  EXPECT_EQ(scripted_.Beeps(), 1);
  EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Confirmation);
  EXPECT_EQ(scripted_.Last().text, "A directory named\n[" + folder + "/new]\nalready exists.This operation is cancelled.");
  EXPECT_EQ(window_->panel, QStringList{"Create Folder started..."});
  EXPECT_TRUE(window_->timed.isEmpty());

  // One that cannot be made: a message, and the program goes on.
  RunTo(Operation::CreateFolder, root_ + "/none/new");
  EXPECT_TRUE(scripted_.Last().text.startsWith("The folder\n[" + root_ + "/none/new]\ncould not be created."));
  EXPECT_EQ(window_->panel.last(), " ");
}

TEST_F(FileOpsTest, DialogWantsAFullPathAndExitDoesNothing) {
  const QString source = AddFile(root_ + "/files/a.txt");
  Run(Operation::Copy, [&](TfrmFileOperations& form) {
    Edit2(form)->clear();
    Button(form, "sbtnFileOps")->click();
    EXPECT_EQ(scripted_.Last().text, "Entry Required.");
    EXPECT_EQ(scripted_.Last().kind, prompts::Kind::Warning);
    EXPECT_TRUE(form.isVisible());
    Edit2(form)->setText("a copy.txt");
    Button(form, "sbtnFileOps")->click();
    EXPECT_EQ(scripted_.Last().text, "Enter the full path.");
    EXPECT_TRUE(form.isVisible());
    Button(form, "sbtnClose")->click();
    EXPECT_FALSE(form.isVisible());
  });
  EXPECT_EQ(Entries(root_ + "/files"), QStringList{"a.txt"});
  EXPECT_EQ(window_->timed, QStringList{" Operation complete..."});
  EXPECT_TRUE(window_->zipFolder.isEmpty());

  // Escape is Exit too.
  window_->panel.clear();
  Run(Operation::Copy, [&](TfrmFileOperations& form) { form.reject(); });
  EXPECT_EQ(window_->panel, QStringList{" Operation complete..."});
}

TEST_F(FileOpsTest, BrowseFillsInTheChosenFolder) {
  const QString source = AddFile(root_ + "/files/a.txt");
  const QString picked = root_ + "/picked";
  QDir().mkpath(picked);
  scripted_.AnswerFolder(picked);
  scripted_.AnswerFolder(QString());  // the second browse is cancelled
  Run(Operation::Copy, [&](TfrmFileOperations& form) {
    Button(form, "sbtnBrowse")->click();
    EXPECT_EQ(scripted_.Last().call, Call::ChooseFolder);
    EXPECT_EQ(scripted_.Last().caption, "Browse for Folder");
    EXPECT_EQ(Edit2(form)->text(), picked + "/a.txt");
    Button(form, "sbtnBrowse")->click();
    EXPECT_EQ(Edit2(form)->text(), picked + "/a.txt");
    Button(form, "sbtnFileOps")->click();
  });
  EXPECT_EQ(Read(picked + "/a.txt"), "original");
  EXPECT_EQ(Remembered(), picked);

  // Rename wants a new name: only the folder is filled in.
  scripted_.AnswerFolder(picked);
  Run(Operation::Rename, [&](TfrmFileOperations& form) {
    Button(form, "sbtnBrowse")->click();
    EXPECT_EQ(Edit2(form)->text(), picked + "/");
  });
}

}  // namespace
