// The report engine: lines of text in cells of tab sets on pages of paper,
// everything placed in inches from the paper's edge. The catalog and record
// reports are written against it; the device is a printer in full-page
// mode or a PDF file.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPen>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace report {

enum class Justify { Left, Right, Center };
enum Box { BoxNone = 0, BoxLeft = 1, BoxRight = 2, BoxTop = 4, BoxBottom = 8, BoxAll = 15 };
enum class Side { Left, Right, Top, Bottom };

// One cell of a tab set: from `position` (or, when negative, from the end
// of the cell before it) over `width` inches; text justified inside it
// `margin` inches from its edges; the box lines drawn around it; its own
// shade in percent (none: the report's default shade).
struct TabStop {
  double position = -1;
  double width = 0;
  Justify justify = Justify::Left;
  double margin = 0;
  int boxes = BoxNone;
  std::optional<int> shade;
};

class TReport {
 public:
  // `painter` is active on `device`, whose origin is the paper's corner.
  // `border` is the device's unprintable border on each side, in inches.
  TReport(QPagedPaintDevice& device, QPainter& painter, std::array<double, 4> border = {0, 0, 0, 0});

  double PaperWidth() const { return paperWidth_; }
  double PaperHeight() const { return paperHeight_; }
  double Margin(Side s) const { return margins_[(size_t)s]; }
  void SetMargin(Side s, double inches) { margins_[(size_t)s] = inches; }
  double Border(Side s) const { return border_[(size_t)s]; }

  // --- tab sets ---
  void ClearTabs();
  void SetTab(const TabStop& stop);
  void SaveTabs(int n);      // n from 1 to 10
  void RestoreTabs(int n);
  const std::vector<TabStop>& Tabs() const { return tabs_; }

  // --- fonts ---
  // Face and size in points; bold, underline and colour back to plain black.
  void SelectFont(const QString& face, double points);
  void Bold(bool on);
  void Underline(bool on);
  void FontColor(const QColor& c);
  void SaveFont(int n);
  void RestoreFont(int n);
  const QFont& Font() const { return font_; }
  // The line height follows the current font: 1.2 times its size.
  void AdjustLine();
  double LineHeight() const { return lineHeight_; }

  // --- drawing ---
  void SetPen(const QColor& color, double widthInches, Qt::PenStyle style = Qt::SolidLine);
  void SetDefaultShade(int percent);  // clamped to 0..100
  // Text at the current place; a tab moves into the next cell of the set,
  // which is drawn (fill, then box lines) as it is entered.
  void Print(const QString& text);
  void PrintLn(const QString& text) {
    Print(text);
    NewLine();
  }
  // Ends the line; never starts a page by itself.
  void NewLine();
  void NewPage();
  // Called each time a page after the first starts.
  void OnNewPage(std::function<void()> hook) { pageHooks_.push_back(std::move(hook)); }
  int Page() const { return page_; }
  // Whole lines of the current height left above `limit` inches over the
  // bottom margin.
  int LinesLeft(double limit = 0) const;
  // The place of the next line's top, in inches from the paper's top.
  double LineTop() const { return y_; }
  // Back to the first line under the top margin.
  void Home();
  double TextWidth(const QString& text) const;  // inches, current font
  // Text at `x` inches on the current line, outside the cells.
  void PrintAt(double x, const QString& text);
  // Text at the current place, squeezed to `width` inches when it is wider,
  // so that it never runs over what follows it on the line.
  void PrintWithin(const QString& text, double width);

 private:
  double Px(double inches) const;
  double Py(double inches) const;
  void EnterCell(int index);
  // `narrow` below 1 squeezes the text to that share of its width.
  void DrawText(double x, const QString& text, double narrow = 1);
  struct DeviceFontState {
    QFont font;        // as selected
    QFont deviceFont;  // the same for the device's resolution
    QFontMetricsF metrics;
  };
  const DeviceFontState& Current() const;
  mutable std::optional<DeviceFontState> device_font_;

  QPagedPaintDevice& device_;
  QPainter& painter_;
  double paperWidth_ = 8.5, paperHeight_ = 11;
  std::array<double, 4> margins_{0.25, 0.25, 0.25, 0.25};
  std::array<double, 4> border_{};
  std::vector<TabStop> tabs_;
  std::array<std::vector<TabStop>, 11> savedTabs_;
  struct FontState {
    QFont font;
    QColor color;
    bool set = false;
  };
  std::array<FontState, 11> savedFonts_;
  QFont font_;
  QColor color_ = Qt::black;
  double lineHeight_ = 0.2;
  QPen pen_;
  int defaultShade_ = 0;
  int cell_ = -1;      // the cell the line is in; -1 before its first tab
  double cellLeft_ = 0;  // where that cell starts
  QString unmeasured_;    // printed at x_, its width not yet added
  double X();
  double x_ = 0;       // where the next text goes on the line
  double y_ = 0;       // top of the current line
  int page_ = 1;
  std::vector<std::function<void()>> pageHooks_;
};

// A description printed word-wrapped between two places on the page, some
// lines at a time.
class TMemoBuffer {
 public:
  TMemoBuffer(double start, double end, const QString& text) : start_(start), end_(end), text_(text) {}
  // Lines still to print, wrapped in the report's current font.
  int LinesNeeded(const TReport& r);
  // Prints the next `n` lines (0: all that are left), each ending its line.
  void PrintLines(TReport& r, int n);

 private:
  void Wrap(const TReport& r);
  double start_, end_;
  QString text_;
  QStringList lines_;
  bool wrapped_ = false;
  int next_ = 0;
};

}  // namespace report
