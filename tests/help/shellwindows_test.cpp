// The small windows of the program shell: the "Database Utility" window that
// creates the missing database files, the about window and the splash.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <xbase.h>

#include "about.h"
#include "crtdb.h"
#include "datafiles.h"
#include "prompts.h"
#include "splash.h"

namespace {

const char* const kAllFiles[] = {store::kRecordsTable, store::kRecordsIndex, store::kRecordsMemo,
                                 store::kCatalogTable, store::kCatalogIndex};

class DatabaseUtility : public ::testing::Test {
 protected:
  QString Path(const char* file) const { return store::DataFilePath(dir_.path(), file); }

  // The catalog names in the order of the catalog index.
  std::vector<std::string> CatalogsInIndexOrder() {
    xbase::Environment env;
    xbase::Table t(env);
    t.SetDatabaseName(store::EnginePath(dir_.path()));
    t.SetTableName(store::kCatalogTable);
    t.SetIndexTag(store::kCatalogTag);
    t.Open();
    std::vector<std::string> names;
    for (t.First(); !t.Eof(); t.Next()) names.push_back(t.FieldByName(store::kFieldCatalog));
    t.Close();
    return names;
  }

  void AppendCatalogs(const std::vector<std::string>& names) {
    xbase::Environment env;
    xbase::Table t(env);
    t.SetDatabaseName(store::EnginePath(dir_.path()));
    t.SetTableName(store::kCatalogTable);
    t.SetIndexTag("");
    t.Open();
    for (const std::string& n : names) {
      t.Append();
      t.SetFieldByName(store::kFieldCatalog, n);
      t.Post();
    }
    t.Close();
  }

  QTemporaryDir dir_;
  prompts::ScriptedPrompts script_;
  prompts::ScopedPrompts guard_{&script_};
};

TEST_F(DatabaseUtility, FirstStartCreatesAllFilesAndSaysSo) {
  TfrmCrtDb frm(dir_.path());
  EXPECT_EQ(frm.Label7Text(), u"Created");
  EXPECT_EQ(frm.Label8Text(), u"Created");
  EXPECT_EQ(frm.Label9Text(), u"Created");
  EXPECT_EQ(frm.Label10Text(), u"Created");
  for (const char* file : kAllFiles) EXPECT_TRUE(QFileInfo::exists(Path(file))) << file;
  EXPECT_TRUE(script_.log.isEmpty()) << script_.Texts().join(u" | ").toStdString();
  EXPECT_TRUE(CatalogsInIndexOrder().empty());

  // Nothing missing any more: a second run makes nothing and says nothing.
  TfrmCrtDb again(dir_.path());
  EXPECT_EQ(again.Label7Text(), u"");
  EXPECT_EQ(again.Label8Text(), u"");
  EXPECT_EQ(again.Label9Text(), u"");
  EXPECT_EQ(again.Label10Text(), u"");
}

TEST_F(DatabaseUtility, MissingCatalogIndexIsRebuiltOverTheNamesThere) {
  { TfrmCrtDb first(dir_.path()); }
  AppendCatalogs({"Photos", "Archive", "Music"});
  ASSERT_TRUE(QFile::remove(Path(store::kCatalogIndex)));

  TfrmCrtDb frm(dir_.path());
  EXPECT_EQ(frm.Label7Text(), u"");
  EXPECT_EQ(frm.Label8Text(), u"");
  EXPECT_EQ(frm.Label9Text(), u"");
  EXPECT_EQ(frm.Label10Text(), u"Created");
  EXPECT_TRUE(script_.log.isEmpty());
  EXPECT_EQ(CatalogsInIndexOrder(), (std::vector<std::string>{"Archive", "Music", "Photos"}));
}

TEST_F(DatabaseUtility, FolderThatDoesNotExistIsReportedAndNothingIsMade) {
  const QString missing = dir_.filePath(QStringLiteral("no/such/folder"));
  TfrmCrtDb frm(missing);
  ASSERT_EQ(script_.log.size(), 1);
  const auto& box = script_.log.first();
  EXPECT_EQ(box.call, prompts::ScriptedPrompts::Call::Message);
  EXPECT_EQ(box.kind, prompts::Kind::Error);
  EXPECT_EQ(box.text, u"VTLDataA.dbf failed");
  EXPECT_EQ(frm.Label7Text(), u"");
  EXPECT_EQ(frm.Label8Text(), u"");
  EXPECT_EQ(frm.Label9Text(), u"");
  EXPECT_EQ(frm.Label10Text(), u"");
  EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(DatabaseUtility, DamagedRecordsTableIsReportedAndLeftAlone) {
  // A records table that is not a table: its index cannot be made over it.
  QFile bad(Path(store::kRecordsTable));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  const QByteArray garbage(700, '\x7f');
  bad.write(garbage);
  bad.close();

  TfrmCrtDb frm(dir_.path());
  ASSERT_EQ(script_.log.size(), 1);
  const auto& box = script_.log.first();
  EXPECT_EQ(box.call, prompts::ScriptedPrompts::Call::Alert);
  EXPECT_EQ(box.caption, u"Vantrell");
  // The engine's reason, naming the file.
  EXPECT_TRUE(box.text.contains(u"VTLDataA.dbf")) << box.text.toStdString();
  // The rest of the creation was skipped; the damaged file is untouched.
  EXPECT_EQ(frm.Label8Text(), u"");
  EXPECT_EQ(frm.Label9Text(), u"");
  EXPECT_EQ(frm.Label10Text(), u"");
  ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
  EXPECT_EQ(bad.readAll(), garbage);
}

TEST_F(DatabaseUtility, WindowLooksAsTheProgramShowsIt) {
  TfrmCrtDb frm(dir_.path());
  EXPECT_EQ(frm.windowTitle(), u"Database Utility");
  EXPECT_TRUE(frm.isModal());
  EXPECT_FALSE(frm.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(frm.windowFlags() & Qt::WindowMinimizeButtonHint);
  frm.show();
  EXPECT_EQ(frm.minimumSize(), frm.maximumSize());  // the user cannot resize it
  EXPECT_EQ(frm.recordsTableResult->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  // Every text fits: nothing is cut off at the fixed size.
  for (QLabel* l : frm.findChildren<QLabel*>()) {
    if (l->objectName() != u"DataFolder") {
      EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
    }
  }
  QPushButton* ok = frm.findChild<QPushButton*>(QStringLiteral("OKButton"));
  ASSERT_NE(ok, nullptr);
  ok->click();
  EXPECT_FALSE(frm.isVisible());
  EXPECT_EQ(frm.result(), QDialog::Accepted);
}

TEST(AboutWindow, ShowsNameVersionDataFolderAndClosesWithOk) {
  const QString folder = QDir::tempPath() + QStringLiteral("/vantrell-about/data");
  TfrmAbout about(folder);
  EXPECT_TRUE(about.isModal());
  bool version = false, name = false;
  for (QLabel* l : about.findChildren<QLabel*>()) {
    version |= l->text() == u"Version 1.0.6";
    name |= l->text() == u"Vantrell";
  }
  EXPECT_TRUE(version);
  EXPECT_TRUE(name);
  ASSERT_NE(about.Comments, nullptr);
  EXPECT_TRUE(about.Comments->toPlainText().contains(QDir::toNativeSeparators(folder)));
  EXPECT_TRUE(about.Comments->toPlainText().contains(QString::fromLatin1(qVersion())));
  EXPECT_FALSE(about.ProgramIcon->pixmap().isNull());

  about.show();
  EXPECT_EQ(about.okButton->text(), u"&OK");
  about.okButton->click();
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(SplashWindow, BorderlessCentredAndFilledByItsPicture) {
  TfrmSplash splash;
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(splash.windowFlags() & Qt::WindowType_Mask, Qt::SplashScreen);
  splash.ShowAndPaint();
  EXPECT_TRUE(splash.isVisible());
  EXPECT_EQ(splash.size(), QSize(387, 210));
  ASSERT_NE(splash.Image1, nullptr);
  EXPECT_EQ(splash.Image1->geometry(), splash.rect());
  EXPECT_FALSE(splash.Image1->pixmap().isNull());
  const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((splash.frameGeometry().center() - centre).manhattanLength(), 2);
  // The picture is really there: the window is not one flat colour.
  const QImage shot = splash.grab().toImage();
  EXPECT_NE(shot.pixelColor(20, 20), shot.pixelColor(193, 105));
}

}  // namespace
