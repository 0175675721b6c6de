// render_icons <folder>: draws every picture of the program into
// <folder>/icons.png, on a light and a dark tool bar, normal and disabled, at
// the sizes the windows use; <folder>/icons-zoom.png shows the 16 and 24
// pixel icons magnified so their pixels can be judged.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTextStream>

#include "icons.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTextStream err(stderr);
  if (argc != 2) {
    err << "usage: render_icons <output folder>\n";
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) {
    err << "cannot create " << out.path() << "\n";
    return 1;
  }

  const QStringList names = icons::ToolIconNames();
  const int sizes[] = {16, 24, 32, 48};
  const int rowH = 56;
  const int nameW = 90;
  const int panelW = 16 + 24 + 32 + 48 + 24 + 6 * 12;
  const int sheetW = nameW + 2 * panelW + 20;
  const int splashTop = rowH * int(names.size()) + 20;
  QImage sheet(qMax(sheetW, 410 + 16 + 24 + 32 + 48 + 64 + 40), splashTop + 210 + 150, QImage::Format_ARGB32);
  sheet.fill(QColor(0xFA, 0xFA, 0xFA));
  QPainter p(&sheet);
  p.setPen(Qt::black);

  const QColor panels[] = {QColor(0xEF, 0xEF, 0xEF), QColor(0x2D, 0x2F, 0x33)};
  for (int row = 0; row < names.size(); ++row) {
    const QIcon icon = icons::ToolIcon(names[row]);
    const int y = 10 + row * rowH;
    p.setPen(Qt::black);
    p.drawText(QRect(6, y, nameW, rowH), Qt::AlignVCenter, names[row]);
    for (int panel = 0; panel < 2; ++panel) {
      int x = nameW + panel * (panelW + 10);
      p.fillRect(QRect(x, y, panelW, rowH - 4), panels[panel]);
      x += 12;
      for (int side : sizes) {
        p.drawPixmap(x, y + (rowH - 4 - side) / 2, icon.pixmap(side, side));
        x += side + 12;
      }
      p.drawPixmap(x, y + (rowH - 4 - 24) / 2, icon.pixmap(QSize(24, 24), QIcon::Disabled));
    }
  }

  p.drawImage(10, splashTop, icons::SplashPicture().toImage());
  int x = 410;
  for (int side : {16, 24, 32, 48, 64}) {
    p.drawPixmap(x, splashTop, icons::AppIcon().pixmap(side, side));
    x += side + 6;
  }
  p.drawPixmap(410, splashTop + 80, icons::AppIcon().pixmap(128, 128));
  p.drawPixmap(10, splashTop + 220, icons::AboutPicture(QSize(96, 96)));
  p.end();
  const QString sheetPath = out.filePath("icons.png");
  if (!sheet.save(sheetPath)) {
    err << "cannot write " << sheetPath << "\n";
    return 1;
  }

  // Magnified 16 and 24 pixel icons (16 at x6, 24 at x4), five to a row.
  const int cellW = 96 + 8 + 96 + 20;
  const int cellH = 96 + 24;
  const int columns = 5;
  const int rows = int((names.size() + 1 + columns - 1) / columns);
  QImage zoomed(columns * cellW + 10, rows * cellH + 10, QImage::Format_ARGB32);
  zoomed.fill(QColor(0xEF, 0xEF, 0xEF));
  QPainter z(&zoomed);
  for (int i = 0; i < names.size(); ++i) {
    const QIcon icon = icons::ToolIcon(names[i]);
    const int x0 = 10 + (i % columns) * cellW;
    const int y0 = 10 + (i / columns) * cellH;
    z.drawImage(QRect(x0, y0, 96, 96), icon.pixmap(16, 16).toImage());
    z.drawImage(QRect(x0 + 104, y0, 96, 96), icon.pixmap(24, 24).toImage());
    z.setPen(Qt::black);
    z.drawText(QRect(x0, y0 + 96, 200, 20), Qt::AlignLeft | Qt::AlignVCenter, names[i]);
  }
  {
    const int i = int(names.size());
    const int x0 = 10 + (i % columns) * cellW;
    const int y0 = 10 + (i / columns) * cellH;
    z.drawImage(QRect(x0, y0, 96, 96), icons::AppIcon().pixmap(16, 16).toImage());
    z.drawImage(QRect(x0 + 104, y0, 96, 96), icons::AppIcon().pixmap(32, 32).toImage());
    z.setPen(Qt::black);
    z.drawText(QRect(x0, y0 + 96, 200, 20), Qt::AlignLeft | Qt::AlignVCenter, "program (16, 32)");
  }
  z.end();
  const QString zoomPath = out.filePath("icons-zoom.png");
  if (!zoomed.save(zoomPath)) {
    err << "cannot write " << zoomPath << "\n";
    return 1;
  }
  return 0;
}
