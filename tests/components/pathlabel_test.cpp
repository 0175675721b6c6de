#include "pathlabel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

const QString kDots = QStringLiteral("\u2026");

QFont FixedFont(int pixels = 12) {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setPixelSize(pixels);
  return f;
}

class Shorten : public ::testing::Test {
 protected:
  QFontMetrics fm{FixedFont()};
  int Width(const QString& s) const { return fm.horizontalAdvance(s); }
  QString Fit(const QString& path, int width) const { return TFileLabel::Shorten(path, fm, width); }
};

TEST_F(Shorten, AWholePathThatFitsIsShownAsItIs) {
  const QString path = "/home/ann/Music/Albums/Artist/track01.mp3";
  EXPECT_EQ(Fit(path, Width(path)), path);
  EXPECT_EQ(Fit(path, 10000), path);
  EXPECT_EQ(Fit("", 0), "");
}

TEST_F(Shorten, MiddleFoldersGoFirstKeepingRootFirstFolderAndFileName) {
  const QString path = "/home/ann/Music/Albums/Artist/track01.mp3";
  // One pixel short: only the folder after the first one goes.
  EXPECT_EQ(Fit(path, Width(path) - 1), "/home/" + kDots + "/Music/Albums/Artist/track01.mp3");
  const QString two = "/home/" + kDots + "/Artist/track01.mp3";
  EXPECT_EQ(Fit(path, Width(two)), two);
  // Then the first folder gives way to the one next to the file.
  const QString one = "/" + kDots + "/Artist/track01.mp3";
  EXPECT_EQ(Fit(path, Width(two) - 1), one);
  const QString none = "/" + kDots + "/track01.mp3";
  EXPECT_EQ(Fit(path, Width(one) - 1), none);
  EXPECT_EQ(Fit(path, Width(none)), none);
}

TEST_F(Shorten, PathsKeepTheirOwnRootsAndSeparators) {
  const QString dos = "C:\\Data\\Projects\\2019\\Reports\\final.docx";
  const QString dosShort = "C:\\Data\\" + kDots + "\\Reports\\final.docx";
  EXPECT_EQ(Fit(dos, Width(dosShort)), dosShort);

  const QString unc = "\\\\nas\\archive\\photos\\2004\\summer\\img_0001.jpg";
  const QString uncShort = "\\\\nas\\archive\\" + kDots + "\\img_0001.jpg";
  EXPECT_EQ(Fit(unc, Width(uncShort)), uncShort);

  // A folder path: its last folder stands for the name, trailing separator kept.
  const QString folder = "/srv/media/library/books/";
  const QString folderShort = "/" + kDots + "/books/";
  EXPECT_EQ(Fit(folder, Width(folderShort)), folderShort);
}

TEST_F(Shorten, AVeryNarrowLabelElidesTheFileNameInItsMiddle) {
  const QString path = "/home/ann/Music/a_rather_long_recording_name.flac";
  const QString prefix = "/" + kDots + "/";
  const int width = Width(prefix + "a_rather" + kDots + ".flac");
  const QString shown = Fit(path, width);
  EXPECT_LE(Width(shown), width);
  EXPECT_TRUE(shown.startsWith(prefix + "a_r")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("flac")) << shown.toStdString();
  EXPECT_EQ(shown.count(kDots), 2);

  // A name right under the root has no folder mark.
  const QString rooted = Fit("C:\\a_rather_long_recording_name.flac", Width("C:\\a_rat" + kDots + "flac"));
  EXPECT_TRUE(rooted.startsWith("C:\\a_r")) << rooted.toStdString();
  EXPECT_EQ(rooted.count(kDots), 1);

  // Narrower than anything sensible: still no wider than the label.
  EXPECT_LE(Width(Fit(path, Width("xx"))), Width("xx"));
  EXPECT_LE(Width(Fit(path, 0)), 0);
}

class FileLabel : public ::testing::Test {
 protected:
  void SetUp() override {
    label.setFont(FixedFont());
    label.setContentsMargins(0, 0, 0, 0);
    label.show();
  }
  TFileLabel label;
};

TEST_F(FileLabel, ShowsNativeSeparatorsAndATipOnlyWhenShortened) {
  const QString path = "/home/ann/Music/Albums/Artist/track01.mp3";
  const QString native = QDir::toNativeSeparators(path);
  const QFontMetrics fm(label.font());
  label.resize(fm.horizontalAdvance(native) + 4, 20);
  label.setPath(path);
  EXPECT_EQ(label.path(), path);
  EXPECT_EQ(label.shownText(), native);
  EXPECT_FALSE(label.isShortened());
  EXPECT_TRUE(label.toolTip().isEmpty());

  label.resize(fm.horizontalAdvance(native) * 3 / 4, 20);
  EXPECT_TRUE(label.isShortened());
  EXPECT_TRUE(label.shownText().startsWith(QDir::toNativeSeparators("/home/") + kDots));
  EXPECT_TRUE(label.shownText().endsWith(QDir::toNativeSeparators("/track01.mp3")));
  EXPECT_EQ(label.toolTip(), native);

  // A new path that fits clears the tip.
  label.setPath("/srv/a.txt");
  EXPECT_EQ(label.shownText(), QDir::toNativeSeparators("/srv/a.txt"));
  EXPECT_TRUE(label.toolTip().isEmpty());
  label.setPath("");
  EXPECT_EQ(label.shownText(), "");
}

TEST_F(FileLabel, DoubleClickWithTheLeftButtonIsSignalled) {
  int clicks = 0;
  QObject::connect(&label, &TFileLabel::doubleClicked, [&] { ++clicks; });
  const QPointF at(5, 5);
  QMouseEvent left(QEvent::MouseButtonDblClick, at, label.mapToGlobal(at), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&label, &left);
  EXPECT_EQ(clicks, 1);
  QMouseEvent right(QEvent::MouseButtonDblClick, at, label.mapToGlobal(at), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(&label, &right);
  EXPECT_EQ(clicks, 1);
}

// How many pixels of the image have exactly this colour.
int PixelsOf(const QImage& image, QColor color) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).rgb() == color.rgb()) ++n;
  return n;
}

TEST(FileLabelColour, FollowsTheTextColourOfItsPanel) {
  QWidget panel;
  auto* layout = new QVBoxLayout(&panel);
  auto* label = new TFileLabel;
  layout->addWidget(label);
  label->setFont(FixedFont(24));
  label->setPath("/IIII/MMMM.txt");
  panel.resize(400, 60);
  panel.show();

  const QColor navy(0, 0, 128), maroon(128, 0, 0);
  QPalette pal = panel.palette();
  pal.setColor(QPalette::WindowText, navy);
  panel.setPalette(pal);
  const QImage first = label->grab().toImage();
  EXPECT_GT(PixelsOf(first, navy), 20);

  pal.setColor(QPalette::WindowText, maroon);
  panel.setPalette(pal);
  const QImage second = label->grab().toImage();
  EXPECT_GT(PixelsOf(second, maroon), 20);
  EXPECT_EQ(PixelsOf(second, navy), 0);
}

}  // namespace
