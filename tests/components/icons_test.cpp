#include "icons.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>

namespace {

// The program's own pictures show where the desktop has no icon theme; the
// tests look at them so, whatever themes the machine has installed.
class Icons : public ::testing::Test {
 protected:
  void SetUp() override {
    searchPaths_ = QIcon::themeSearchPaths();
    themeName_ = QIcon::themeName();
    QIcon::setThemeSearchPaths({});
  }
  void TearDown() override {
    QIcon::setThemeSearchPaths(searchPaths_);
    QIcon::setThemeName(themeName_);
  }

 private:
  QStringList searchPaths_;
  QString themeName_;
};

// Share of pixels that are painted (not fully transparent).
double Coverage(const QImage& image) {
  int painted = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > 0) ++painted;
  return double(painted) / (image.width() * image.height());
}

TEST_F(Icons, EveryToolButtonHasAPictureAtEverySize) {
  // The names the main window asks for.
  const QStringList wanted = {"catrpt", "recrpt", "find", "zip",  "clrcrlf",
                              "remspaces", "cmbcles", "runapp", "save", "edit",
                              "add", "move", "trash", "help", "exit"};
  const QStringList known = icons::ToolIconNames();
  EXPECT_EQ(QSet<QString>(wanted.begin(), wanted.end()), QSet<QString>(known.begin(), known.end()));

  QSet<QByteArray> seen;
  for (const QString& name : wanted) {
    const QIcon icon = icons::ToolIcon(name);
    ASSERT_FALSE(icon.isNull()) << name.toStdString();
    for (int side : {16, 24, 32}) {
      const QImage image = icon.pixmap(side, side).toImage();
      ASSERT_EQ(image.size(), QSize(side, side)) << name.toStdString();
      // Something drawn, yet not a solid square.
      const double cover = Coverage(image);
      EXPECT_GT(cover, 0.2) << name.toStdString() << " at " << side;
      EXPECT_LT(cover, 0.95) << name.toStdString() << " at " << side;
    }
    const QImage big = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    const QByteArray bytes(reinterpret_cast<const char*>(big.constBits()), big.sizeInBytes());
    EXPECT_FALSE(seen.contains(bytes)) << name.toStdString() << " looks like another icon";
    seen.insert(bytes);
  }
  EXPECT_TRUE(icons::ToolIcon("nosuchicon").isNull());
}

TEST_F(Icons, DisabledPicturesAreGreyAndFainter) {
  const QIcon icon = icons::ToolIcon("save");
  const QImage normal = icon.pixmap(QSize(24, 24), QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
  const QImage disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(disabled.size(), normal.size());
  for (int y = 0; y < disabled.height(); ++y)
    for (int x = 0; x < disabled.width(); ++x) {
      const QRgb d = disabled.pixel(x, y);
      EXPECT_EQ(qRed(d), qGreen(d));
      EXPECT_EQ(qGreen(d), qBlue(d));
      EXPECT_LE(qAlpha(d), qAlpha(normal.pixel(x, y)));
    }
}

TEST_F(Icons, ThemePictureForTheCommandsItNames) {
  // A theme with a red "document-save" and nothing else.
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QDir theme(root.filePath("red"));
  ASSERT_TRUE(QDir().mkpath(theme.filePath("32x32/actions")));
  QFile index(theme.filePath("index.theme"));
  ASSERT_TRUE(index.open(QIODevice::WriteOnly));
  index.write("[Icon Theme]\nName=red\nDirectories=32x32/actions\n\n[32x32/actions]\nSize=32\nType=Fixed\n");
  index.close();
  QImage red(32, 32, QImage::Format_ARGB32);
  red.fill(Qt::red);
  ASSERT_TRUE(red.save(theme.filePath("32x32/actions/document-save.png")));
  QIcon::setThemeSearchPaths({root.path()});
  QIcon::setThemeName("red");

  const QImage save = icons::ToolIcon("save").pixmap(32, 32).toImage();
  EXPECT_EQ(save.pixelColor(16, 16), QColor(Qt::red));
  // A command the theme has no picture for keeps the program's own.
  const QImage find = icons::ToolIcon("find").pixmap(32, 32).toImage();
  EXPECT_NE(find.pixelColor(13, 13), QColor(Qt::red));
  EXPECT_GT(Coverage(find), 0.2);
}

TEST_F(Icons, ProgramPictures) {
  const QIcon app = icons::AppIcon();
  ASSERT_FALSE(app.isNull());
  for (int side : {16, 32, 256}) EXPECT_GT(Coverage(app.pixmap(side, side).toImage()), 0.4) << side;

  const QPixmap splash = icons::SplashPicture();
  EXPECT_EQ(splash.size(), QSize(387, 210));
  EXPECT_EQ(Coverage(splash.toImage()), 1.0);  // opaque all over
  EXPECT_EQ(icons::AboutPicture(QSize(120, 90)).size(), QSize(120, 90));
  EXPECT_TRUE(icons::SplashPicture(QSize(0, 0)).isNull());
}

}  // namespace
