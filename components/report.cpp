#include "report.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace report {

TReport::TReport(QPagedPaintDevice& device, QPainter& painter, std::array<double, 4> border)
    : device_(device), painter_(painter), border_(border) {
  const QRectF paper = device.pageLayout().fullRect(QPageLayout::Inch);
  paperWidth_ = paper.width();
  paperHeight_ = paper.height();
  font_ = QFont(QStringLiteral("Arial"));
  font_.setPointSizeF(10);
  AdjustLine();
  pen_ = QPen(Qt::black, Px(0.01));
  Home();
}

double TReport::Px(double inches) const { return inches * device_.logicalDpiX(); }
double TReport::Py(double inches) const { return inches * device_.logicalDpiY(); }

// ---- tab sets ----

void TReport::ClearTabs() {
  tabs_.clear();
  cell_ = -1;
}

void TReport::SetTab(const TabStop& stop) { tabs_.push_back(stop); }

void TReport::SaveTabs(int n) {
  if (n >= 1 && n <= 10) savedTabs_[(size_t)n] = tabs_;
}

void TReport::RestoreTabs(int n) {
  if (n >= 1 && n <= 10) tabs_ = savedTabs_[(size_t)n];
  cell_ = -1;
}

// ---- fonts ----

void TReport::SelectFont(const QString& face, double points) {
  font_ = QFont(face);
  font_.setPointSizeF(points);
  font_.setBold(false);
  font_.setUnderline(false);
  color_ = Qt::black;
}

void TReport::Bold(bool on) { font_.setBold(on); }
void TReport::Underline(bool on) { font_.setUnderline(on); }
void TReport::FontColor(const QColor& c) { color_ = c; }

void TReport::SaveFont(int n) {
  if (n >= 1 && n <= 10) savedFonts_[(size_t)n] = {font_, color_, true};
}

void TReport::RestoreFont(int n) {
  if (n < 1 || n > 10 || !savedFonts_[(size_t)n].set) return;
  font_ = savedFonts_[(size_t)n].font;
  color_ = savedFonts_[(size_t)n].color;
}

void TReport::AdjustLine() { lineHeight_ = 1.2 * font_.pointSizeF() / 72.0; }

const TReport::DeviceFontState& TReport::Current() const {
  // Sizes in points of the device's own resolution; made again only when
  // the font changed.
  if (!device_font_ || device_font_->font != font_) {
    QFont f(font_, &device_);
    device_font_.emplace(DeviceFontState{font_, f, QFontMetricsF(f, &device_)});
  }
  return *device_font_;
}

double TReport::TextWidth(const QString& text) const {
  return Current().metrics.horizontalAdvance(text) / device_.logicalDpiX();
}

// ---- drawing ----

void TReport::SetPen(const QColor& color, double widthInches, Qt::PenStyle style) {
  pen_ = QPen(color, Px(widthInches), style, Qt::SquareCap, Qt::MiterJoin);
}

void TReport::SetDefaultShade(int percent) { defaultShade_ = std::clamp(percent, 0, 100); }

void TReport::Home() {
  unmeasured_.clear();
  y_ = margins_[(size_t)Side::Top];
  x_ = margins_[(size_t)Side::Left];
  cell_ = -1;
}

void TReport::NewLine() {
  unmeasured_.clear();
  y_ += lineHeight_;
  x_ = margins_[(size_t)Side::Left];
  cell_ = -1;
}

void TReport::NewPage() {
  device_.newPage();
  ++page_;
  Home();
  for (const auto& hook : pageHooks_) hook();
}

int TReport::LinesLeft(double limit) const {
  const double bottom = paperHeight_ - margins_[(size_t)Side::Bottom] - limit;
  if (lineHeight_ <= 0 || bottom <= y_) return 0;
  return (int)std::floor((bottom - y_) / lineHeight_ + 1e-9);
}

void TReport::DrawText(double x, const QString& text, double narrow) {
  if (text.isEmpty()) return;
  const DeviceFontState& f = Current();
  if (painter_.font() != f.deviceFont) painter_.setFont(f.deviceFont);
  if (painter_.pen().color() != color_ || painter_.pen().style() != Qt::SolidLine) painter_.setPen(color_);
  const double linePx = Py(lineHeight_);
  const double baseline = Py(y_) + (linePx - f.metrics.height()) / 2 + f.metrics.ascent();
  if (narrow >= 1) {
    painter_.drawText(QPointF(Px(x), baseline), text);
    return;
  }
  painter_.save();
  painter_.translate(Px(x), 0);
  painter_.scale(narrow, 1);
  painter_.drawText(QPointF(0, baseline), text);
  painter_.restore();
}

void TReport::PrintAt(double x, const QString& text) { DrawText(x, text); }

void TReport::PrintWithin(const QString& text, double width) {
  if (text.isEmpty()) return;
  const double x = X();
  const double w = TextWidth(text);
  DrawText(x, text, w > width && width > 0 ? width / w : 1);
  x_ = x + std::min(w, width);
}

void TReport::EnterCell(int index) {
  cell_ = index;
  if (index < 0 || index >= (int)tabs_.size()) {
    X();  // text past the last cell goes on after what was printed
    return;
  }
  // Where the cell starts: its own place, or the end of the one before.
  double left = margins_[(size_t)Side::Left];
  for (int i = 0; i <= index; ++i) {
    if (i > 0) left += tabs_[(size_t)i - 1].width;
    if (tabs_[(size_t)i].position >= 0) left = tabs_[(size_t)i].position;
  }
  const TabStop& t = tabs_[(size_t)index];
  const QRectF cell(Px(left), Py(y_), Px(t.width), Py(lineHeight_));
  const int shade = std::clamp(t.shade.value_or(defaultShade_), 0, 100);
  painter_.save();
  if (shade > 0) {
    const int v = (int)std::lround(255.0 * (100 - shade) / 100.0);
    painter_.fillRect(cell, QColor(v, v, v));
  }
  painter_.setPen(pen_);
  if (t.boxes & BoxLeft) painter_.drawLine(cell.topLeft(), cell.bottomLeft());
  if (t.boxes & BoxRight) painter_.drawLine(cell.topRight(), cell.bottomRight());
  if (t.boxes & BoxTop) painter_.drawLine(cell.topLeft(), cell.topRight());
  if (t.boxes & BoxBottom) painter_.drawLine(cell.bottomLeft(), cell.bottomRight());
  painter_.restore();
  cellLeft_ = left;
  unmeasured_.clear();
  x_ = left + t.margin;
}

void TReport::Print(const QString& text) {
  const QStringList parts = text.split(u'\t');
  for (int i = 0; i < parts.size(); ++i) {
    if (i > 0) EnterCell(cell_ + 1);
    const QString& piece = parts[i];
    if (piece.isEmpty()) continue;
    const bool inCell = cell_ >= 0 && cell_ < (int)tabs_.size();
    if (inCell && tabs_[(size_t)cell_].justify != Justify::Left) {
      const TabStop& t = tabs_[(size_t)cell_];
      const double w = TextWidth(piece);
      // Text wider than its cell is narrowed to the cell, a small gap
      // inside its left edge, rather than run over the cell before it.
      constexpr double kGap = 0.04;
      const double room = t.justify == Justify::Right ? t.width - t.margin : t.width;
      if (w > room && room > kGap) {
        DrawText(cellLeft_ + kGap, piece, (room - kGap) / w);
        x_ = cellLeft_ + room;
      } else {
        x_ = t.justify == Justify::Right ? cellLeft_ + t.width - t.margin - w : cellLeft_ + (t.width - w) / 2;
        DrawText(x_, piece);
        x_ += w;
      }
      unmeasured_.clear();
      continue;
    }
    // Left-justified text is measured only when more text follows it in
    // the same cell: measuring is as dear as drawing.
    const double x = X();
    DrawText(x, piece);
    unmeasured_ = piece;
  }
}

double TReport::X() {
  if (!unmeasured_.isEmpty()) {
    x_ += TextWidth(unmeasured_);
    unmeasured_.clear();
  }
  return x_;
}

// ---- memo buffer ----

void TMemoBuffer::Wrap(const TReport& r) {
  wrapped_ = true;
  const double width = end_ - start_;
  QString text = text_;
  text.remove(u'\r');
  for (const QString& paragraph : text.split(u'\n')) {
    QString line;
    for (const QString& word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
      const QString tried = line.isEmpty() ? word : line + u' ' + word;
      if (r.TextWidth(tried) <= width) {
        line = tried;
        continue;
      }
      if (!line.isEmpty()) lines_ << line;
      // A word wider than the whole width is broken where it must be.
      line = word;
      while (r.TextWidth(line) > width && line.size() > 1) {
        int n = (int)line.size() - 1;
        while (n > 1 && r.TextWidth(line.left(n)) > width) --n;
        lines_ << line.left(n);
        line = line.mid(n);
      }
    }
    lines_ << line;
  }
  // A text ending with a line break leaves no empty line after it.
  while (!lines_.isEmpty() && lines_.last().isEmpty() && text.endsWith(u'\n')) {
    lines_.removeLast();
    text.chop(1);
  }
}

int TMemoBuffer::LinesNeeded(const TReport& r) {
  if (!wrapped_) Wrap(r);
  return (int)lines_.size() - next_;
}

void TMemoBuffer::PrintLines(TReport& r, int n) {
  if (!wrapped_) Wrap(r);
  const int left = (int)lines_.size() - next_;
  const int count = n <= 0 ? left : std::min(n, left);
  for (int i = 0; i < count; ++i) {
    r.PrintAt(start_, lines_[next_++]);
    r.NewLine();
  }
}

}  // namespace report
