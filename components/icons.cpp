#include "icons.h"

#include <QFont>
#include <QFontMetricsF>
#include <QIconEngine>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QRadialGradient>

#include <cmath>

namespace icons {

namespace {

// Tool icons are drawn on a 32 x 32 grid scaled to the size asked. Outlines
// are 2 units wide and run along odd coordinates, fills end on even ones, so
// that edges fall on whole pixels at 16 and 32 pixels.

struct Tone {
  QColor fill;
  QColor line;
};

const Tone kPaper{QColor(0xFF, 0xFF, 0xFF), QColor(0x66, 0x76, 0x8A)};
const QColor kPaperBack(0xE9, 0xEE, 0xF4);
const QColor kFold(0xD5, 0xDD, 0xE7);
const QColor kTextLine(0xA9, 0xB5, 0xC4);
const QColor kTextDark(0x5A, 0x68, 0x7A);
const Tone kBlue{QColor(0x44, 0x8D, 0xE0), QColor(0x1F, 0x5E, 0xA6)};
const QColor kLightBlue(0xD8, 0xEA, 0xFC);
const Tone kGreen{QColor(0x49, 0xB0, 0x4F), QColor(0x2A, 0x7C, 0x30)};
const Tone kRed{QColor(0xE8, 0x4E, 0x3F), QColor(0xAE, 0x2E, 0x22)};
const Tone kAmber{QColor(0xF8, 0xB8, 0x34), QColor(0xB9, 0x7C, 0x0C)};
const Tone kWood{QColor(0xB9, 0x7A, 0x45), QColor(0x74, 0x47, 0x22)};
const Tone kSlate{QColor(0x9A, 0xA6, 0xB5), QColor(0x56, 0x63, 0x74)};

QPen Pen(const QColor& color, qreal width = 2, Qt::PenCapStyle cap = Qt::FlatCap,
         Qt::PenJoinStyle join = Qt::MiterJoin) {
  return QPen(color, width, Qt::SolidLine, cap, join);
}

void Line(QPainter& p, qreal x1, qreal y1, qreal x2, qreal y2, const QColor& color, qreal width = 2,
          Qt::PenCapStyle cap = Qt::FlatCap) {
  p.setPen(Pen(color, width, cap));
  p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void Fill(QPainter& p, const QRectF& r, const QColor& color) { p.fillRect(r, color); }

QPainterPath Polygon(std::initializer_list<QPointF> points) {
  QPainterPath path;
  bool first = true;
  for (const QPointF& pt : points) {
    if (first)
      path.moveTo(pt);
    else
      path.lineTo(pt);
    first = false;
  }
  path.closeSubpath();
  return path;
}

void Shape(QPainter& p, const QPainterPath& path, const QColor& fill, const QColor& line,
           qreal width = 2) {
  p.setBrush(fill);
  if (width > 0)
    p.setPen(Pen(line, width, Qt::FlatCap, Qt::RoundJoin));
  else
    p.setPen(Qt::NoPen);
  p.drawPath(path);
  p.setBrush(Qt::NoBrush);
}

void Disc(QPainter& p, QPointF c, qreal r, const QColor& fill, const QColor& line, qreal width = 2) {
  p.setBrush(fill);
  if (width > 0)
    p.setPen(Pen(line, width));
  else
    p.setPen(Qt::NoPen);
  p.drawEllipse(c, r, r);
  p.setBrush(Qt::NoBrush);
}

// A sheet of paper with a folded top right corner; outline along l, t, r, b.
void Sheet(QPainter& p, qreal l, qreal t, qreal r, qreal b, qreal fold = 6,
           const QColor& paper = kPaper.fill) {
  Shape(p, Polygon({{l, t}, {r - fold, t}, {r, t + fold}, {r, b}, {l, b}}), paper, kPaper.line);
  Shape(p, Polygon({{r - fold, t}, {r - fold, t + fold}, {r, t + fold}}), kFold, kPaper.line);
}

// A record card: white with a blue title strip and two lines of text.
void Card(QPainter& p, qreal l, qreal t, qreal r, qreal b) {
  Shape(p, Polygon({{l, t}, {r, t}, {r, b}, {l, b}}), kPaper.fill, kPaper.line);
  Fill(p, QRectF(l + 1, t + 1, r - l - 2, 4), kBlue.fill);
  Line(p, l + 4, t + 8, r - 4, t + 8, kTextLine);
  Line(p, l + 4, t + 12, r - 8, t + 12, kTextLine);
}

// A round badge in the lower right corner, cut out of what lies below by a
// thin light ring so it reads as laid on top.
void Badge(QPainter& p, const Tone& tone, QPointF c = {23, 23}, qreal r = 7.5) {
  Disc(p, c, r + 2, Qt::white, Qt::white, 0);
  Disc(p, c, r, tone.fill, tone.line, 2);
}

// A four-pointed sparkle.
void Sparkle(QPainter& p, QPointF c, qreal r, const QColor& color) {
  const qreal w = r * 0.28;
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(Polygon({{c.x(), c.y() - r},
                      {c.x() + w, c.y() - w},
                      {c.x() + r, c.y()},
                      {c.x() + w, c.y() + w},
                      {c.x(), c.y() + r},
                      {c.x() - w, c.y() + w},
                      {c.x() - r, c.y()},
                      {c.x() - w, c.y() - w}}));
  p.setBrush(Qt::NoBrush);
}

// A pencil lying along the x axis from x0 (point) to x1 (eraser), half height h.
void Pencil(QPainter& p, qreal x0, qreal x1, qreal h) {
  const qreal tip = h * 1.6;
  const qreal ferrule = h * 0.8;
  const qreal eraser = h * 1.0;
  const qreal bodyEnd = x1 - ferrule - eraser;
  const QColor outline(0x5C, 0x3D, 0x12);
  // Wood of the sharpened end and its graphite point.
  Shape(p, Polygon({{x0, 0}, {x0 + tip, -h}, {x0 + tip, h}}), QColor(0xF5, 0xD9, 0xAE), outline, 1.2);
  Shape(p, Polygon({{x0, 0}, {x0 + tip * 0.4, -h * 0.4}, {x0 + tip * 0.4, h * 0.4}}),
        QColor(0x3A, 0x3F, 0x47), QColor(0x3A, 0x3F, 0x47), 0);
  // Body in two tones, lit from above.
  Fill(p, QRectF(x0 + tip, -h, bodyEnd - x0 - tip, h), kAmber.fill);
  Fill(p, QRectF(x0 + tip, 0, bodyEnd - x0 - tip, h), QColor(0xE5, 0x96, 0x17));
  // Metal ferrule and eraser.
  Fill(p, QRectF(bodyEnd, -h, ferrule, 2 * h), QColor(0xC3, 0xCB, 0xD4));
  Fill(p, QRectF(bodyEnd + ferrule * 0.45, -h, ferrule * 0.18, 2 * h), QColor(0x8A, 0x96, 0xA3));
  QPainterPath rubber;
  rubber.addRoundedRect(QRectF(bodyEnd + ferrule - 0.5, -h, eraser + 0.5, 2 * h), h * 0.5, h * 0.5);
  Shape(p, rubber, QColor(0xF0, 0x8A, 0x9C), outline, 0);
  // One outline round it all.
  QPainterPath all;
  all.moveTo(x0, 0);
  all.lineTo(x0 + tip, -h);
  all.lineTo(x1 - h * 0.3, -h);
  all.quadTo(x1, -h, x1, -h * 0.7);
  all.lineTo(x1, h * 0.7);
  all.quadTo(x1, h, x1 - h * 0.3, h);
  all.lineTo(x0 + tip, h);
  all.closeSubpath();
  p.setBrush(Qt::NoBrush);
  p.setPen(Pen(outline, 1.4, Qt::FlatCap, Qt::RoundJoin));
  p.drawPath(all);
}

// ---------------------------------------------------------------------------
// The tool pictures, each on the 32-unit grid.

void PaintCatalogReport(QPainter& p, int /*side*/) {
  // A stack of printed pages: the catalog's list of records.
  Shape(p, Polygon({{9, 3}, {27, 3}, {27, 25}, {9, 25}}), kPaperBack, kPaper.line);
  Sheet(p, 5, 7, 23, 29, 5);
  Fill(p, QRectF(8, 11, 9, 3), kBlue.fill);
  for (qreal y : {17.0, 21.0, 25.0}) {
    Fill(p, QRectF(8, y - 1, 2, 2), kBlue.line);
    Line(p, 12, y, 20, y, kTextLine);
  }
}

void PaintRecordReport(QPainter& p, int /*side*/) {
  // One page with one record on it: a title and its fields.
  Sheet(p, 7, 3, 25, 29, 6);
  Fill(p, QRectF(10, 7, 9, 4), kBlue.fill);
  for (qreal y : {15.0, 19.0}) {
    Line(p, 10, y, 14, y, kTextDark);
    Line(p, 16, y, 22, y, kTextLine);
  }
  Line(p, 10, 23, 22, 23, kTextLine);
  Line(p, 10, 26, 19, 26, kTextLine);
}

void PaintFind(QPainter& p, int /*side*/) {
  // A magnifying glass.
  Line(p, 19.5, 19.5, 27.5, 27.5, QColor(0x45, 0x50, 0x60), 5, Qt::RoundCap);
  Line(p, 19.0, 19.0, 21.0, 21.0, QColor(0x8A, 0x96, 0xA3), 5, Qt::FlatCap);
  QColor glass = kLightBlue;
  glass.setAlpha(230);
  Disc(p, {13, 13}, 8.5, glass, kBlue.line, 3);
  p.setPen(Pen(Qt::white, 2, Qt::RoundCap));
  p.drawArc(QRectF(8, 8, 10, 10), 100 * 16, 70 * 16);
}

void PaintZip(QPainter& p, int /*side*/) {
  // An archive: a sheet closed by a zipper with its pull.
  Sheet(p, 6, 3, 26, 29, 6, QColor(0xFF, 0xF4, 0xDC));
  const QColor teeth(0x5D, 0x6B, 0x7C);
  for (int i = 0; i < 7; ++i) Fill(p, QRectF(i % 2 ? 16 : 14, 4 + 2 * i, 2, 2), teeth);
  QPainterPath pull;
  pull.addRoundedRect(QRectF(12, 18, 8, 9), 1.5, 1.5);
  Shape(p, pull, kAmber.fill, kAmber.line, 2);
  Fill(p, QRectF(15, 21, 2, 3), kAmber.line);
}

void PaintRemoveLineBreaks(QPainter& p, int /*side*/) {
  // The line-break mark, crossed out.
  QPainterPath mark;
  mark.moveTo(22, 4);
  mark.lineTo(22, 14);
  mark.lineTo(10, 14);
  p.setPen(Pen(kBlue.line, 4, Qt::FlatCap, Qt::MiterJoin));
  p.drawPath(mark);
  Shape(p, Polygon({{3, 14}, {11, 7}, {11, 21}}), kBlue.line, kBlue.line, 0);
  Line(p, 18.5, 18.5, 27.5, 27.5, Qt::white, 7, Qt::RoundCap);
  Line(p, 27.5, 18.5, 18.5, 27.5, Qt::white, 7, Qt::RoundCap);
  Line(p, 18.5, 18.5, 27.5, 27.5, kRed.fill, 3.5, Qt::RoundCap);
  Line(p, 27.5, 18.5, 18.5, 27.5, kRed.fill, 3.5, Qt::RoundCap);
}

void PaintRemoveSpaces(QPainter& p, int /*side*/) {
  // The space mark with two arrows squeezing it.
  QPainterPath space;
  space.moveTo(6, 15);
  space.lineTo(6, 26);
  space.lineTo(26, 26);
  space.lineTo(26, 15);
  p.setPen(Pen(kBlue.line, 4, Qt::FlatCap, Qt::MiterJoin));
  p.drawPath(space);
  Line(p, 2, 8, 9, 8, kRed.fill, 4);
  Shape(p, Polygon({{15, 8}, {8, 2}, {8, 14}}), kRed.fill, kRed.fill, 0);
  Line(p, 30, 8, 23, 8, kRed.fill, 4);
  Shape(p, Polygon({{17, 8}, {24, 2}, {24, 14}}), kRed.fill, kRed.fill, 0);
}

void PaintCombinedCleanUp(QPainter& p, int /*side*/) {
  // A broom sweeping, with sparkles where it has cleaned.
  p.save();
  p.translate(18, 17);
  p.rotate(38);
  Shape(p, Polygon({{-1.6, -16}, {1.6, -16}, {1.6, -2}, {-1.6, -2}}), kWood.fill, kWood.line, 1.2);
  Shape(p, Polygon({{-4, 0}, {4, 0}, {8, 13}, {-8, 13}}), kAmber.fill, kAmber.line, 1.4);
  for (qreal x : {-3.5, 0.0, 3.5}) Line(p, x * 0.7, 3, x * 1.35, 12, kAmber.line, 1.1);
  Shape(p, Polygon({{-4.6, -3}, {4.6, -3}, {4.6, 0.8}, {-4.6, 0.8}}), kRed.fill, kRed.line, 1.2);
  p.restore();
  Sparkle(p, {7, 7}, 5.5, kBlue.fill);
  Sparkle(p, {14, 3.5}, 3, kBlue.fill);
}

void PaintRunApp(QPainter& p, int /*side*/) {
  // A file with a start mark: open it with its program.
  Sheet(p, 5, 3, 21, 27, 5);
  Line(p, 8, 11, 15, 11, kTextLine);
  Line(p, 8, 15, 17, 15, kTextLine);
  Line(p, 8, 19, 13, 19, kTextLine);
  Badge(p, kGreen, {22, 22}, 8);
  Shape(p, Polygon({{19.5, 17.5}, {27, 22}, {19.5, 26.5}}), Qt::white, Qt::white, 0);
}

void PaintSave(QPainter& p, int /*side*/) {
  // A diskette.
  Shape(p, Polygon({{5, 5}, {23, 5}, {27, 9}, {27, 27}, {5, 27}}), kBlue.fill, kBlue.line);
  Fill(p, QRectF(10, 6, 12, 8), QColor(0xDC, 0xE3, 0xEA));
  Fill(p, QRectF(17, 7, 3, 6), kBlue.line);
  Fill(p, QRectF(9, 17, 14, 9), Qt::white);
  Line(p, 11, 20, 21, 20, kTextLine);
  Line(p, 11, 23, 18, 23, kTextLine);
}

void PaintEdit(QPainter& p, int /*side*/) {
  // A pencil writing on a record card.
  Card(p, 3, 5, 25, 23);
  p.save();
  p.translate(20, 20);
  p.rotate(-45);
  Pencil(p, -11, 14, 3.6);
  p.restore();
}

void PaintAdd(QPainter& p, int side) {
  // A new record card. At 16 pixels the plus is one pixel wide and on whole
  // pixels; larger, it is bolder.
  Card(p, 3, 5, 25, 23);
  Badge(p, kGreen);
  const qreal w = side <= 16 ? 2 : 3;
  Line(p, 18, 23, 28, 23, Qt::white, w);
  Line(p, 23, 18, 23, 28, Qt::white, w);
}

void PaintMove(QPainter& p, int side) {
  // A record card on its way elsewhere.
  Card(p, 3, 5, 25, 23);
  Badge(p, kBlue);
  if (side <= 16) {
    // Pixel by pixel: a slanted arrow head would blur at this size.
    Fill(p, QRectF(18, 22, 10, 2), Qt::white);
    for (const QPointF& at : {QPointF(24, 20), QPointF(24, 24), QPointF(22, 18), QPointF(22, 26)})
      Fill(p, QRectF(at, QSizeF(2, 2)), Qt::white);
    return;
  }
  const qreal w = 3;
  Line(p, 18, 23, 27, 23, Qt::white, w, Qt::RoundCap);
  QPainterPath head;
  head.moveTo(23, 19);
  head.lineTo(27, 23);
  head.lineTo(23, 27);
  p.setPen(Pen(Qt::white, w, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(head);
}

void PaintTrash(QPainter& p, int /*side*/) {
  // A waste bin.
  Shape(p, Polygon({{7, 11}, {25, 11}, {23, 29}, {9, 29}}), kSlate.fill, kSlate.line);
  for (qreal x : {12.5, 16.0, 19.5}) Line(p, x, 14.5, x, 25.5, QColor(0xD3, 0xDA, 0xE2), 2, Qt::RoundCap);
  Shape(p, Polygon({{12, 3}, {20, 3}, {20, 7}, {12, 7}}), Qt::transparent, kSlate.line);
  QPainterPath lid;
  lid.addRoundedRect(QRectF(4, 6, 24, 5), 1.5, 1.5);
  Shape(p, lid, kSlate.line, kSlate.line, 0);
}

void PaintHelp(QPainter& p, int /*side*/) {
  // A question mark in a blue disc.
  Disc(p, {16, 16}, 13, kBlue.fill, kBlue.line);
  QPainterPath hook;
  const QRectF bowl(11.2, 7.2, 9.6, 9.6);
  hook.arcMoveTo(bowl, 165);
  hook.arcTo(bowl, 165, -225);
  hook.lineTo(16, 18.4);
  hook.lineTo(16, 20.2);
  p.setPen(Pen(Qt::white, 3.4, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(hook);
  Disc(p, {16, 24.8}, 2.1, Qt::white, Qt::white, 0);
}

void PaintExit(QPainter& p, int /*side*/) {
  // An open door with the way out.
  Shape(p, Polygon({{5, 3}, {19, 3}, {19, 29}, {5, 29}}), QColor(0x3B, 0x2C, 0x22), kWood.line);
  Shape(p, Polygon({{5, 3}, {13, 6}, {13, 31}, {5, 29}}), kWood.fill, kWood.line);
  Disc(p, {11, 18}, 1.3, kAmber.fill, kAmber.fill, 0);
  Line(p, 14, 16, 24, 16, kGreen.line, 6);
  Line(p, 14, 16, 24, 16, kGreen.fill, 3);
  Shape(p, Polygon({{30, 16}, {22, 9}, {22, 23}}), kGreen.fill, kGreen.line, 1.5);
}

// ---------------------------------------------------------------------------
// The program's card-index box, on a 64-unit grid.

// The card-index box drawn pixel by pixel on a 16-unit grid, for small
// icons where the full drawing would blur.
void PaintSmallCardBox(QPainter& p) {
  p.scale(4, 4);  // the 64-unit grid as 16 units
  const QColor outline(0x1C, 0x3F, 0x6E);
  Fill(p, QRectF(3, 1, 4, 3), kRed.fill);
  Fill(p, QRectF(9, 2, 4, 2), kGreen.fill);
  Shape(p, Polygon({{1.5, 3.5}, {14.5, 3.5}, {14.5, 9}, {1.5, 9}}), kPaper.fill, kPaper.line, 1);
  Fill(p, QRectF(3, 5, 8, 1), kTextLine);
  QPainterPath box;
  box.addRoundedRect(QRectF(0.5, 7.5, 15, 8), 1.5, 1.5);
  QLinearGradient front(0, 7, 0, 16);
  front.setColorAt(0, QColor(0x4C, 0x93, 0xE3));
  front.setColorAt(1, QColor(0x2B, 0x6C, 0xC0));
  p.setBrush(front);
  p.setPen(Pen(outline, 1, Qt::FlatCap, Qt::RoundJoin));
  p.drawPath(box);
  Fill(p, QRectF(5, 10, 6, 2), QColor(0xF4, 0xF7, 0xFB));
  Fill(p, QRectF(6, 13, 4, 1), outline);
}

void PaintCardBox(QPainter& p, int side) {
  if (side < 28) {
    PaintSmallCardBox(p);
    return;
  }
  const QColor outline(0x1C, 0x3F, 0x6E);
  // Cards standing in the box, each with its coloured index tab.
  struct CardTab {
    qreal top;
    qreal tabLeft;
    QColor tab;
  };
  const CardTab cards[] = {
      {12, 12, kRed.fill},
      {18, 27, kAmber.fill},
      {24, 42, kGreen.fill},
  };
  for (const CardTab& c : cards) {
    QPainterPath tab;
    tab.addRoundedRect(QRectF(c.tabLeft, c.top - 7, 12, 10), 2, 2);
    Shape(p, tab, c.tab, outline, 2);
    Shape(p, Polygon({{9, c.top}, {55, c.top}, {55, 40}, {9, 40}}), kPaper.fill, outline, 2);
    Line(p, 14, c.top + 5, 40, c.top + 5, kTextLine, 2);
  }
  // The box: front panel with a rim, a label holder and a finger pull.
  QPainterPath box;
  box.addRoundedRect(QRectF(3, 30, 58, 30), 5, 5);
  QLinearGradient front(0, 30, 0, 60);
  front.setColorAt(0, QColor(0x4C, 0x93, 0xE3));
  front.setColorAt(1, QColor(0x2B, 0x6C, 0xC0));
  p.setBrush(front);
  p.setPen(Pen(outline, 2.5, Qt::FlatCap, Qt::RoundJoin));
  p.drawPath(box);
  Line(p, 5, 35, 59, 35, QColor(0x7F, 0xB4, 0xF0), 2);
  QPainterPath label;
  label.addRoundedRect(QRectF(21, 39, 22, 10), 1.5, 1.5);
  Shape(p, label, QColor(0xF4, 0xF7, 0xFB), outline, 2);
  Line(p, 25, 44, 39, 44, kTextLine, 2);
  QPainterPath pull;
  pull.addRoundedRect(QRectF(26, 52, 12, 3.5), 1.75, 1.75);
  Shape(p, pull, outline, outline, 0);
}

// ---------------------------------------------------------------------------

using PaintFn = void (*)(QPainter&, int side);

struct Picture {
  const char* name;
  PaintFn paint;
};

constexpr Picture kToolPictures[] = {
    {"catrpt", PaintCatalogReport},
    {"recrpt", PaintRecordReport},
    {"find", PaintFind},
    {"zip", PaintZip},
    {"clrcrlf", PaintRemoveLineBreaks},
    {"remspaces", PaintRemoveSpaces},
    {"cmbcles", PaintCombinedCleanUp},
    {"runapp", PaintRunApp},
    {"save", PaintSave},
    {"edit", PaintEdit},
    {"add", PaintAdd},
    {"move", PaintMove},
    {"trash", PaintTrash},
    {"help", PaintHelp},
    {"exit", PaintExit},
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

// Draws a picture of `grid` units square into a size x size image.
QImage Render(PaintFn paint, qreal grid, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  if (size <= 0) return image;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.scale(size / grid, size / grid);
  paint(p, size);
  return image;
}

// Paints a picture at whatever size the icon is asked for.
class PaintedIconEngine final : public QIconEngine {
 public:
  PaintedIconEngine(QString id, PaintFn paint, qreal grid)
      : id_(std::move(id)), paint_(paint), grid_(grid) {}

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
      QImage image = Render(paint_, grid_, side);
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

  QIconEngine* clone() const override { return new PaintedIconEngine(id_, paint_, grid_); }
  QString key() const override { return QStringLiteral("VantrellPainted"); }
  QString iconName() override { return id_; }

 private:
  QString id_;
  PaintFn paint_;
  qreal grid_;
};

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
// few faint index cards in it.
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

}  // namespace

QStringList ToolIconNames() {
  QStringList names;
  for (const Picture& pic : kToolPictures) names.append(QLatin1String(pic.name));
  return names;
}

QIcon ToolIcon(const QString& name) {
  for (const Picture& pic : kToolPictures)
    if (name == QLatin1String(pic.name))
      return QIcon(new PaintedIconEngine(name, pic.paint, 32));
  return QIcon();
}

QIcon AppIcon() { return QIcon(new PaintedIconEngine(QStringLiteral("app"), PaintCardBox, 64)); }

QPixmap SplashPicture(QSize size) {
  if (size.isEmpty()) return QPixmap();
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

  // The card box.
  p.save();
  p.translate(20, 40);
  p.scale(120 / 64.0, 120 / 64.0);
  PaintCardBox(p, 64);
  p.restore();

  // Name, rule and subtitle.
  const QString name = QStringLiteral("Vantrell");
  QFont title = PictureFont(46, QFont::Bold);
  const qreal room = 387 - 150 - 16;
  while (QFontMetricsF(title).horizontalAdvance(name) > room && title.pixelSize() > 10)
    title.setPixelSize(title.pixelSize() - 1);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(150, 58, room, 56), Qt::AlignLeft | Qt::AlignBottom, name);
  Line(p, 152, 122, 270, 122, kAmber.fill, 3, Qt::RoundCap);
  p.setFont(PictureFont(17, QFont::Normal));
  p.setPen(QColor(0xC9, 0xDF, 0xF7));
  p.drawText(QRectF(152, 130, room, 26), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("File catalogues"));

  // A darker strip at the foot for start-up messages.
  p.fillRect(QRectF(0, 184, 387, 26), QColor(0, 0, 0, 60));
  Line(p, 0, 184.5, 387, 184.5, QColor(255, 255, 255, 30), 1);
  return pm;
}

QPixmap AboutPicture(QSize size) {
  if (size.isEmpty()) return QPixmap();
  QPixmap pm(size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0, 0, size.width(), size.height());
  const qreal side = qMin(r.width(), r.height());
  PaintBackdrop(p, r, side * 0.12);
  const qreal box = side * 0.78;
  p.translate(r.center().x() - box / 2, r.center().y() - box / 2);
  p.scale(box / 64.0, box / 64.0);
  PaintCardBox(p, 64);
  return pm;
}

}  // namespace icons
