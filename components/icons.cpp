#include "icons.h"

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QIconEngine>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QRadialGradient>
#include <QSvgRenderer>

// The pictures are compiled into the library as resources under ":/icons";
// a static library's resources are registered by hand, once.
static void RegisterIconResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(icons);
    return true;
  }();
  (void)registered;
}

namespace icons {

namespace {

const QString kAppIconFile = QStringLiteral(":/icons/vantrell.svg");

// The tool pictures, each an SVG on a 32-unit grid, and the name the
// desktop's icon theme gives the same command, where the freedesktop naming
// has one: the theme's picture is shown when it has one, ours otherwise.
struct Picture {
  const char* name;
  const char* themeName;
};

constexpr Picture kToolPictures[] = {
    {"catrpt", nullptr},
    {"recrpt", nullptr},
    {"find", "edit-find"},
    {"zip", nullptr},
    {"clrcrlf", nullptr},
    {"remspaces", nullptr},
    {"cmbcles", nullptr},
    {"runapp", nullptr},
    {"save", "document-save"},
    {"edit", nullptr},
    {"add", "list-add"},
    {"move", nullptr},
    {"trash", "edit-delete"},
    {"help", "help-contents"},
    {"exit", "application-exit"},
};

// A greyed, faded copy for disabled buttons.
QImage Disabled(QImage image) {
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = line[x];
      const int grey = 110 + qGray(c) * 130 / 255;
      line[x] = qRgba(grey, grey, grey, qAlpha(c) * 50 / 100);
    }
  }
  return image;
}

// Draws an SVG file over `target`.
void DrawSvg(QPainter& p, const QString& file, const QRectF& target) {
  QSvgRenderer svg(file);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  svg.render(&p, target);
  p.restore();
}

// Draws an SVG file into a size x size image.
QImage Render(const QString& file, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  if (size <= 0) return image;
  QPainter p(&image);
  DrawSvg(p, file, QRectF(0, 0, size, size));
  return image;
}

// Shows an SVG picture at whatever size the icon is asked for; at 16 pixels
// and below its small drawing (name-16.svg) where there is one, as some
// pictures are drawn again on whole pixels for that size. Disabled icons
// are a grey, faded copy.
class SvgIconEngine final : public QIconEngine {
 public:
  SvgIconEngine(QString id, QString file, QString smallFile)
      : id_(std::move(id)), file_(std::move(file)), smallFile_(std::move(smallFile)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap pm = pixmap(rect.size() * ratio, mode, state);
    pm.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, pm);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    const int side = qMin(size.width(), size.height());
    if (side <= 0) return QPixmap();
    const QString key = QStringLiteral("vantrell-icon/%1/%2/%3").arg(id_).arg(side).arg(int(mode));
    QPixmap cached;
    if (!QPixmapCache::find(key, &cached)) {
      QImage image = Render(side <= 16 && !smallFile_.isEmpty() ? smallFile_ : file_, side);
      if (mode == QIcon::Disabled) image = Disabled(image);
      cached = QPixmap::fromImage(image);
      QPixmapCache::insert(key, cached);
    }
    if (size.width() == size.height()) return cached;
    // A non-square request: centre the square picture in it.
    QPixmap out(size);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.drawPixmap((size.width() - side) / 2, (size.height() - side) / 2, cached);
    return out;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = qMin(size.width(), size.height());
    return QSize(side, side);
  }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64),
            QSize(128, 128), QSize(256, 256)};
  }

  QIconEngine* clone() const override { return new SvgIconEngine(id_, file_, smallFile_); }
  QString key() const override { return QStringLiteral("VantrellSvg"); }
  QString iconName() override { return id_; }

 private:
  QString id_;
  QString file_;
  QString smallFile_;
};

// Our own picture of a tool button.
QIcon OwnToolIcon(const QString& name) {
  const QString file = QStringLiteral(":/icons/%1.svg").arg(name);
  const QString small = QStringLiteral(":/icons/%1-16.svg").arg(name);
  return QIcon(new SvgIconEngine(name, file, QFile::exists(small) ? small : QString()));
}

// A font of the program's pictures: a plain sans serif at a pixel size.
QFont PictureFont(qreal pixels, int weight) {
  QFont f;
  f.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Liberation Sans"),
                 QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(qMax(1, qRound(pixels)));
  f.setWeight(QFont::Weight(weight));
  return f;
}

// The deep blue backdrop shared by the splash and the about picture, with a
// soft light at the upper left.
void PaintBackdrop(QPainter& p, const QRectF& r, qreal radius) {
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0, QColor(0x1E, 0x5A, 0x9C));
  g.setColorAt(1, QColor(0x10, 0x2F, 0x57));
  QPainterPath shape;
  shape.addRoundedRect(r, radius, radius);
  p.fillPath(shape, g);
  QRadialGradient glow(r.left() + r.width() * 0.25, r.top() + r.height() * 0.35, r.width() * 0.5);
  glow.setColorAt(0, QColor(255, 255, 255, 40));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillPath(shape, glow);
}

void Line(QPainter& p, qreal x1, qreal y1, qreal x2, qreal y2, const QColor& color, qreal width,
          Qt::PenCapStyle cap) {
  p.setPen(QPen(color, width, Qt::SolidLine, cap));
  p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

}  // namespace

QStringList ToolIconNames() {
  QStringList names;
  for (const Picture& pic : kToolPictures) names.append(QLatin1String(pic.name));
  return names;
}

QIcon ToolIcon(const QString& name) {
  RegisterIconResources();
  for (const Picture& pic : kToolPictures) {
    if (name != QLatin1String(pic.name)) continue;
    QIcon own = OwnToolIcon(name);
    return pic.themeName ? QIcon::fromTheme(QLatin1String(pic.themeName), own) : own;
  }
  return QIcon();
}

QIcon AppIcon() {
  RegisterIconResources();
  return QIcon(new SvgIconEngine(QStringLiteral("app"), kAppIconFile, QString()));
}

QPixmap SplashPicture(QSize size) {
  if (size.isEmpty()) return QPixmap();
  RegisterIconResources();
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // Designed on 387 x 210; other sizes scale the whole picture.
  const qreal sx = size.width() / 387.0;
  const qreal sy = size.height() / 210.0;
  p.scale(sx, sy);
  const QRectF all(0, 0, 387, 210);
  PaintBackdrop(p, all, 0);

  // The program icon.
  DrawSvg(p, kAppIconFile, QRectF(20, 40, 120, 120));

  // Name, rule and subtitle.
  const QString name = QStringLiteral("Vantrell");
  QFont title = PictureFont(46, QFont::Bold);
  const qreal room = 387 - 150 - 16;
  while (QFontMetricsF(title).horizontalAdvance(name) > room && title.pixelSize() > 10)
    title.setPixelSize(title.pixelSize() - 1);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(150, 58, room, 56), Qt::AlignLeft | Qt::AlignBottom, name);
  Line(p, 152, 122, 270, 122, QColor(0xF8, 0xB8, 0x34), 3, Qt::RoundCap);
  p.setFont(PictureFont(17, QFont::Normal));
  p.setPen(QColor(0xC9, 0xDF, 0xF7));
  p.drawText(QRectF(152, 130, room, 26), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("File catalogues"));

  // A darker strip at the foot for start-up messages.
  p.fillRect(QRectF(0, 184, 387, 26), QColor(0, 0, 0, 60));
  Line(p, 0, 184.5, 387, 184.5, QColor(255, 255, 255, 30), 1, Qt::FlatCap);
  return pm;
}

QPixmap AboutPicture(QSize size) {
  if (size.isEmpty()) return QPixmap();
  RegisterIconResources();
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0, 0, size.width(), size.height());
  const qreal side = qMin(r.width(), r.height());
  PaintBackdrop(p, r, side * 0.12);
  const qreal box = side * 0.78;
  DrawSvg(p, kAppIconFile, QRectF(r.center().x() - box / 2, r.center().y() - box / 2, box, box));
  return pm;
}

}  // namespace icons
