// vantrell-render-appicon <folder>: writes the program icon as
// <folder>/<size>x<size>/apps/vantrell.png for every size of the icon theme,
// drawn from vantrell.svg, the program icon the windows show.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

#include "icons.h"

int main(int argc, char** argv) {
  // No display is needed, nor wanted, to draw into images.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTextStream err(stderr);
  if (argc != 2) {
    err << "usage: vantrell-render-appicon <output folder>\n";
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QIcon icon = icons::AppIcon();
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    const QString folder = out.filePath(QStringLiteral("%1x%1/apps").arg(side));
    if (!QDir().mkpath(folder)) {
      err << "cannot create " << folder << "\n";
      return 1;
    }
    const QImage image = icon.pixmap(side, side).toImage();
    const QString path = folder + QStringLiteral("/vantrell.png");
    if (image.size() != QSize(side, side) || !image.save(path, "PNG")) {
      err << "cannot write " << path << "\n";
      return 1;
    }
  }
  return 0;
}
