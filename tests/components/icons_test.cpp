#include "icons.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSet>

namespace {

// Share of pixels that are painted (not fully transparent).
double Coverage(const QImage& image) {
  int painted = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > 0) ++painted;
  return double(painted) / (image.width() * image.height());
}

TEST(Icons, EveryToolButtonHasAPictureAtEverySize) {
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

TEST(Icons, DisabledPicturesAreGreyAndFainter) {
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

TEST(Icons, ProgramPictures) {
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
