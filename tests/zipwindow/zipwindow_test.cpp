// The zip archive window and the text viewer as a user meets them: the
// listing, extracting the selected entries, the choices remembered, a
// damaged or hostile archive that only brings messages, reading an entry
// and copying a passage of it into the description, and its printout.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "createdb.h"
#include "datafiles.h"
#include "datamodule.h"
#include "prompts.h"
#include "schema.h"
#include "settings.h"
#include "standinwindow.h"
#include "zipentries.h"
#include "zipexpand.h"
#include "zipseltxt.h"

namespace {

// A window's widget by the name the program's documents give it.
template <class T>
T* Named(QWidget& window, const char* name) {
  T* widget = window.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// A choice of one of the zip window's radio groups, by its caption.
QRadioButton* Choice(QWidget& window, const char* group, const QString& caption) {
  for (QRadioButton* choice : Named<QGroupBox>(window, group)->findChildren<QRadioButton*>())
    if (choice->text() == caption) return choice;
  ADD_FAILURE() << group << " has no choice " << caption.toStdString();
  return nullptr;
}

class ZipWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QCoreApplication::setOrganizationName("Brannock");
    QCoreApplication::setApplicationName("Vantrell");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/config");
    QSettings("Brannock", "Vantrell").clear();
    const QString data = dir_.path() + "/data";
    QDir().mkpath(data);
    ASSERT_TRUE(store::CreateDatabaseFiles(data).ok());
    ASSERT_EQ(dm_.DataModule1Create(data), "");
    dm_.ApTable1.Open();
  }
  // The current record catalogues the archive `path`.
  void Catalogue(const QString& path) {
    xbase::Table& t = dm_.ApTable1;
    if (t.RecNo() == 0)
      t.Append();
    else
      t.Edit();
    t.SetFieldByName(store::kFieldName, store::ToUtf8(path));
    t.Post();
  }
  // An archive made by the zip tool from files given as name -> content.
  QString MakeZip(const QString& name, const QList<std::pair<QString, QByteArray>>& files) {
    const QString src = dir_.path() + "/src-" + name;
    QStringList names;
    for (const auto& [file, content] : files) {
      QDir().mkpath(QFileInfo(src + "/" + file).path());
      QFile f(src + "/" + file);
      EXPECT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(content);
      // Folders are given whole, so the archive holds their own entries
      // too, as archives made by hand do.
      const QString top = file.section(u'/', 0, 0);
      if (!names.contains(top)) names.append(top);
    }
    const QString zip = dir_.path() + "/" + name;
    QProcess p;
    p.setWorkingDirectory(src);
    p.start("zip", QStringList{"-q", "-r", zip} + names);
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return zip;
  }
  QTemporaryDir dir_;
  TDataModule1 dm_;
  // The main window, its record session over the records table.
  testsupport::StandInWindow window_{&dm_};
  prompts::ScriptedPrompts prompts_;
  prompts::ScopedPrompts scoped_{&prompts_};
};

TEST_F(ZipWindowTest, ListsExtractsTheSelectedEntriesAndRemembersTheChoices) {
  Catalogue(MakeZip("Letters.zip", {{"a.txt", "alpha"}, {"docs/ReadMe.TXT", "read me"}, {"z.bin", "zzz"}}));
  const QString out = dir_.path() + "/out/";
  QDir().mkpath(out);
  {
    TfrmZipExpand w(window_);
    w.show();
    EXPECT_TRUE(prompts_.Texts().isEmpty()) << prompts_.Texts().join('|').toStdString();
    ASSERT_EQ(w.EntryModel().rowCount(), 4);  // the folder "docs/" has its own entry
    EXPECT_EQ(w.EntryModel().FileName(2), "docs/readme.txt");
    EXPECT_EQ(w.StatusText(1), "Files : 4");
    w.SetExtractionFolder(out);
    Choice(w, "RadioGroup3", "Selected")->setChecked(true);
    // "Selected" with nothing selected extracts nothing.
    Named<QToolButton>(w, "sbtnExtract")->click();
    EXPECT_EQ(prompts_.Last().text, "Error - no files selected");
    EXPECT_TRUE(QDir(out).isEmpty());
    // The first three rows (two files and a folder), without their folders.
    Named<QTableView>(w, "StringGrid2")->selectionModel()->select(
        QItemSelection(w.EntryModel().index(0, 0), w.EntryModel().index(2, 3)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Choice(w, "RadioGroup1", "No")->setChecked(true);
    Named<QToolButton>(w, "sbtnExtract")->click();
    EXPECT_EQ(w.StatusText(2), "2 files were extracted");
    EXPECT_TRUE(QFile::exists(out + "a.txt"));
    EXPECT_TRUE(QFile::exists(out + "ReadMe.TXT") || QFile::exists(out + "readme.txt"));
    EXPECT_FALSE(QFile::exists(out + "z.bin"));
    w.close();
  }
  // The folder and the three choices come back with the next window.
  TfrmZipExpand again(window_);
  EXPECT_EQ(again.ExtractionFolder(), out);
  EXPECT_TRUE(Choice(again, "RadioGroup3", "Selected")->isChecked());
  EXPECT_TRUE(Choice(again, "RadioGroup1", "No")->isChecked());
  EXPECT_TRUE(Choice(again, "RadioGroup2", "Yes")->isChecked());
  again.close();

  // Two entries whose names differ only in letter case show alike in the
  // grid; the selected one alone is extracted.
  Catalogue(MakeZip("Twins.zip", {{"Read.txt", "upper"}, {"read.txt", "lower"}}));
  const QString twins = dir_.path() + "/twins/";
  QDir().mkpath(twins);
  {
    TfrmZipExpand w(window_);
    w.show();
    ASSERT_EQ(w.EntryModel().rowCount(), 2);
    const int row = w.EntryModel().Entries()[0].name == "Read.txt" ? 0 : 1;
    w.SetExtractionFolder(twins);
    Named<QTableView>(w, "StringGrid2")->selectionModel()->select(w.EntryModel().index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Named<QToolButton>(w, "sbtnExtract")->click();
    EXPECT_EQ(w.StatusText(2), "1 files were extracted");
    EXPECT_EQ(QDir(twins).entryList(QDir::Files), QStringList({"Read.txt"}));
    w.close();
  }
}

TEST_F(ZipWindowTest, DamagedAndHostileArchivesOnlyBringMessages) {
  // Cut in the middle of the second entry's data: the first entry stays
  // listed and the problem is said in the window.
  const QString whole = MakeZip("whole.zip", {{"one.txt", QByteArray(5000, 'a')}, {"two.txt", QByteArray(5000, 'b')}});
  QFile f(whole);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  f.close();
  const QString cut = dir_.path() + "/cut.zip";
  QFile c(cut);
  ASSERT_TRUE(c.open(QIODevice::WriteOnly));
  c.write(bytes.left(bytes.indexOf("two.txt") + 20));
  c.close();
  Catalogue(cut);
  {
    TfrmZipExpand w(window_);
    w.show();
    EXPECT_EQ(w.EntryModel().rowCount(), 1);
    EXPECT_FALSE(w.ListingError().isEmpty());
    EXPECT_EQ(prompts_.Count(prompts::ScriptedPrompts::Call::Message), 1);
    w.close();
  }
  // An entry whose name climbs out of the folder is refused, with a
  // message, and nothing lands outside.
  prompts_.Clear();
  const QString evilSrc = dir_.path() + "/evil/inner";
  QDir().mkpath(evilSrc);
  QFile e(dir_.path() + "/evil/escaped.txt");
  ASSERT_TRUE(e.open(QIODevice::WriteOnly));
  e.write("x");
  e.close();
  QProcess p;
  p.setWorkingDirectory(evilSrc);
  p.start("zip", {"-q", dir_.path() + "/evil.zip", "../escaped.txt"});
  ASSERT_TRUE(p.waitForFinished(30000));
  Catalogue(dir_.path() + "/evil.zip");
  const QString out = dir_.path() + "/target/inside/";
  QDir().mkpath(out);
  TfrmZipExpand w(window_);
  w.show();
  w.SetExtractionFolder(out);
  Choice(w, "RadioGroup3", "All")->setChecked(true);
  Choice(w, "RadioGroup1", "Yes")->setChecked(true);
  Named<QToolButton>(w, "sbtnExtract")->click();
  EXPECT_FALSE(QFile::exists(dir_.path() + "/target/escaped.txt"));
  ASSERT_FALSE(prompts_.Texts().isEmpty());
  EXPECT_TRUE(prompts_.Texts().last().startsWith("Error Msg from DLL: ")) << prompts_.Texts().last().toStdString();
  EXPECT_EQ(w.StatusText(2), "0 files were extracted");
}

TEST_F(ZipWindowTest, AnEntryIsReadCopiedToTheDescriptionAndLeavesNothingBehind) {
  Catalogue(MakeZip("notes.zip", {{"docs/ReadMe.txt", "First line\nSecond line\n"},
                                  {"big.txt", QByteArray(TfrmZipSelTxt::kMaxTextBytes + 1, 'x')}}));
  // The viewer's private folder is made under TMPDIR: it must be empty
  // again afterwards.
  const QString temp = dir_.path() + "/tmp";
  QDir().mkpath(temp);
  qputenv("TMPDIR", temp.toLocal8Bit());
  TfrmZipExpand w(window_);
  w.show();
  ASSERT_EQ(w.EntryModel().rowCount(), 3);
  int readme = 0, big = 0;
  for (int r = 0; r < 3; ++r) {
    if (w.EntryModel().FileName(r) == "docs/readme.txt") readme = r;
    if (w.EntryModel().FileName(r) == "big.txt") big = r;
  }
  QString shown, label;
  // Acts in the viewer once it is up (the extraction before it lets
  // events through too).
  QTimer poll;
  poll.start(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* viewer = w.findChild<TfrmZipSelTxt*>();
    if (!viewer || !viewer->isVisible()) return;
    poll.stop();
    shown = Named<QPlainTextEdit>(*viewer, "Memo1")->toPlainText();
    label = Named<QLabel>(*viewer, "Label1")->text();
    EXPECT_FALSE(Named<QToolButton>(*viewer, "sbtnCpyTxtToDesc")->isEnabled());
    Named<QCheckBox>(*viewer, "chkbxCloseFrms")->setChecked(false);
    QTextCursor cursor = Named<QPlainTextEdit>(*viewer, "Memo1")->textCursor();
    cursor.select(QTextCursor::Document);
    Named<QPlainTextEdit>(*viewer, "Memo1")->setTextCursor(cursor);
    EXPECT_TRUE(Named<QToolButton>(*viewer, "sbtnCpyTxtToDesc")->isEnabled());
    Named<QToolButton>(*viewer, "sbtnCpyTxtToDesc")->click();
    viewer->close();
  });
  Named<QTableView>(w, "StringGrid2")->setCurrentIndex(w.EntryModel().index(readme, 0));
  w.StringGrid2DblClick();
  EXPECT_EQ(label, "docs/readme.txt");
  EXPECT_EQ(shown, "First line\nSecond line\n");
  EXPECT_EQ(window_.pasted, "First line\nSecond line\n");
  EXPECT_TRUE(QDir(temp).isEmpty()) << "the extracted copy is removed";
  // A text too large for the viewer is said, and not shown.
  Named<QTableView>(w, "StringGrid2")->setCurrentIndex(w.EntryModel().index(big, 0));
  w.StringGrid2DblClick();
  EXPECT_EQ(prompts_.Last().text, "Text exceeds memo capacity.");
  EXPECT_EQ(prompts_.Beeps(), 1);
  EXPECT_TRUE(QDir(temp).isEmpty());
  qunsetenv("TMPDIR");
}

TEST_F(ZipWindowTest, PrintoutContinuesOnPagesHeadedByTheName) {
  Catalogue(MakeZip("long.zip", {{"a.txt", "x"}}));
  TfrmZipExpand w(window_);
  TfrmZipSelTxt viewer(w, window_);
  Named<QLabel>(viewer, "Label1")->setText("docs/long.txt");
  QString text;
  for (int i = 1; i <= 300; ++i) text += QString("Line %1\n").arg(i);
  Named<QPlainTextEdit>(viewer, "Memo1")->setPlainText(text);
  const QString pdf = dir_.path() + "/print.pdf";
  int pages = 0;
  {
    QPdfWriter writer(pdf);
    pages = viewer.PrintText(writer);
  }
  EXPECT_GE(pages, 3);
  QProcess p;
  p.start("pdftotext", {pdf, "-"});
  ASSERT_TRUE(p.waitForFinished(30000));
  const QString printed = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_EQ(printed.count("DOCS/LONG.TXT [continued]"), pages - 1);
  EXPECT_TRUE(printed.contains("Line 300"));
}

}  // namespace
