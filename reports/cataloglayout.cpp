#include "cataloglayout.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>

#include <vector>

namespace reports {

namespace {

const QColor kNavy(0, 0, 128);
constexpr double kPen = 0.02;
constexpr double kTitleWidth = 3.35, kPathWidth = 2.8;

}  // namespace

QString DateWithoutTime(const QString& text) {
  // A time: hours and minutes (and seconds) with colons, or hours, minutes
  // and seconds with dots (as some locales write it). Only words after the
  // first are looked at, so a dotted date alone ("08.02.21") stays a date.
  static const QRegularExpression time(QStringLiteral(R"((^|\D)\d{1,2}(:\d{2}(:\d{2})?|\.\d{2}\.\d{2})(\D|$))"),
                                       QRegularExpression::UseUnicodePropertiesOption);
  struct Word {
    qsizetype begin, end;
  };
  std::vector<Word> words;
  for (qsizetype i = 0; i < text.size();) {
    while (i < text.size() && text[i].isSpace()) ++i;
    const qsizetype begin = i;
    while (i < text.size() && !text[i].isSpace()) ++i;
    if (i > begin) words.push_back({begin, i});
  }
  const auto hasDigit = [&](const Word& w) {
    for (qsizetype i = w.begin; i < w.end; ++i)
      if (text[i].isDigit()) return true;
    return false;
  };
  // From the end: words without digits (an AM/PM marker after the time),
  // then the time. The first word is always the date's.
  for (qsizetype i = (qsizetype)words.size() - 1; i >= 1; --i) {
    const Word& w = words[(size_t)i];
    if (time.match(text.mid(w.begin, w.end - w.begin)).hasMatch()) {
      // A marker written before the time goes with it.
      qsizetype first = i;
      while (first > 1 && !hasDigit(words[(size_t)first - 1])) --first;
      return text.left(words[(size_t)first].begin);
    }
    if (hasDigit(w)) break;
  }
  return text;
}

TCatalogLayout::TCatalogLayout(report::TReport& r, const Options& o, bool recordMode)
    : r_(r), options_(o), recordMode_(recordMode) {}

void TCatalogLayout::Setup() {
  using report::TabStop;
  const int s = options_.shaded ? 10 : 0;
  const double left = LeftOffset();
  const auto own = [&](bool on) { return on ? std::optional<int>(s) : std::nullopt; };
  r_.ClearTabs();
  r_.SetPen(kNavy, kPen);
  r_.SetTab({left, 7.5, report::Justify::Left, 0.10,
             options_.box ? report::BoxAll : report::BoxBottom, own(options_.box)});
  r_.SaveTabs(1);
  r_.ClearTabs();
  r_.SetTab({left, 0.1, report::Justify::Right, 0.04, report::BoxNone, std::nullopt});
  r_.SetTab({-1, kTitleWidth, report::Justify::Left, 0, report::BoxNone, std::nullopt});
  r_.SetTab({-1, kPathWidth, report::Justify::Left, 0, report::BoxNone, std::nullopt});
  r_.SetTab({-1, 0.6, report::Justify::Right, 0, report::BoxNone, std::nullopt});
  r_.SetTab({-1, 0.6, report::Justify::Right, 0, report::BoxNone, std::nullopt});
  r_.SaveTabs(2);
  r_.ClearTabs();
  r_.SetTab({left, 6.5, report::Justify::Left, 0.10,
             options_.box ? report::BoxLeft | report::BoxTop | report::BoxBottom : report::BoxTop, own(options_.box)});
  r_.SetTab({-1, 1.0, report::Justify::Left, 0,
             options_.box ? report::BoxRight | report::BoxTop | report::BoxBottom : report::BoxTop, own(options_.box)});
  r_.SaveTabs(3);
  r_.SelectFont("Arial", 18);
  r_.Bold(true);
  r_.SaveFont(1);
  r_.SelectFont("Arial", 8);
  r_.SaveFont(2);
  r_.SelectFont("Arial", 9);
  r_.Bold(true);
  r_.SaveFont(3);
  r_.AdjustLine();
  for (const report::Side side : {report::Side::Left, report::Side::Right, report::Side::Top, report::Side::Bottom})
    if (r_.Border(side) > r_.Margin(side)) r_.SetMargin(side, r_.Border(side));
  r_.Home();
}

void TCatalogLayout::PrintCatalogHeader(const QString& catalog, bool continued) {
  r_.SetPen(kNavy, kPen);
  r_.RestoreTabs(1);
  r_.RestoreFont(1);
  r_.AdjustLine();
  r_.SetDefaultShade(0);
  r_.PrintLn("\t" + catalog);
  r_.RestoreTabs(2);
  r_.RestoreFont(3);
  r_.AdjustLine();
  if (!options_.full) {
    r_.Underline(true);
    r_.PrintLn(continued ? QStringLiteral("\t\tTitle") : QStringLiteral("\t\tTitle\tPath\tBytes\tDate"));
    r_.NewLine();
    r_.Underline(false);
  }
  r_.RestoreFont(2);
  r_.AdjustLine();
}

QString TCatalogLayout::FittedPath(const QString& path) const {
  if (r_.TextWidth(path) <= kPathWidth) return path;
  // The root stays: a drive and its separator, or the separator alone.
  const QChar sep = path.contains(u'\\') ? u'\\' : u'/';
  int root = path.startsWith(sep) ? 1 : 0;
  if (path.size() >= 3 && path[1] == u':' && path[2] == sep) root = 3;
  const QString prefix = path.left(root);
  QString rest = path.mid(root);  // the folders and the name
  QString text = path;
  while (r_.TextWidth(text) > kPathWidth) {
    const int cut = rest.indexOf(sep);
    if (cut < 0) break;  // only the name is left
    rest = rest.mid(cut + 1);
    text = prefix + "..." + sep + rest;
  }
  return text;
}

void TCatalogLayout::PrintRecordRow(const Row& row, bool continued, bool emphasised) {
  const QString suffix = continued ? QStringLiteral("  continued...") : QString();
  if (options_.full) r_.SetDefaultShade(0);
  r_.RestoreFont(emphasised || options_.full ? 3 : 2);
  r_.FontColor(row.reachable ? QColor(Qt::black) : QColor(255, 0, 0));
  r_.AdjustLine();
  r_.Print("\t\t" + row.title + suffix);
  if (!continued) {
    // A title as wide as its cell pushes the rest of the row to a line of
    // its own.
    if (r_.TextWidth(row.title) >= kTitleWidth) {
      r_.NewLine();
      r_.Print("\t\t");
    }
    // A name too wide for the cell even without its folders is squeezed
    // into it rather than printed over the size and the date.
    r_.Print("\t");
    r_.PrintWithin(FittedPath(row.path), kPathWidth);
    r_.Print("\t" + row.size);
    r_.Print("\t" + DateWithoutTime(row.date));
    r_.NewLine();
  }
  r_.RestoreFont(2);
  r_.AdjustLine();
}

void TCatalogLayout::PrintDescription(const QString& catalog, const Row& row) {
  report::TMemoBuffer text(0.8, 7.75, row.description);
  r_.NewLine();
  r_.SetMargin(report::Side::Bottom, std::max(0.75, r_.Border(report::Side::Bottom)));
  for (;;) {
    const int needed = text.LinesNeeded(r_);
    int left = r_.LinesLeft();
    if (needed <= left) {
      if (needed > 0) text.PrintLines(r_, needed);
      break;
    }
    // A page that holds no line at all still takes one, so the text ends.
    if (left <= 0 && r_.LineTop() <= r_.Margin(report::Side::Top) + 1e-9) left = 1;
    if (left > 0) text.PrintLines(r_, left);
    r_.RestoreFont(3);
    r_.AdjustLine();
    r_.NewLine();
    r_.PrintLn("\t\tContinued on next page ...");
    r_.NewPage();
    PrintCatalogHeader(catalog, true);
    PrintRecordRow(row, true, true);
    r_.NewLine();
    r_.NewLine();
  }
}

void TCatalogLayout::PrintFooter(const QString& catalog, const QString& count, const QDate& today) {
  if (options_.full || recordMode_) return;
  r_.RestoreTabs(3);
  r_.RestoreFont(3);
  r_.AdjustLine();
  r_.SetDefaultShade(0);
  r_.SetPen(kNavy, kPen);
  r_.NewLine();
  r_.PrintLn("\tTitles in " + catalog + ":  " + count + "\t" + QLocale().toString(today, "MMM dd, yyyy"));
}

void PrintCatalogReport(report::TReport& r, const Options& o, const QString& catalog, const QString& count,
                        const std::function<bool(Row&)>& next, const QDate& today) {
  TCatalogLayout layout(r, o, false);
  layout.Setup();
  bool newPage = true;  // every page of the catalog begins with its header
  r.OnNewPage([&] { newPage = true; });
  r.RestoreTabs(1);
  r.RestoreFont(1);
  r.AdjustLine();
  layout.PrintCatalogHeader(catalog, false);
  int rowNumber = 1;
  const int total = count.toInt();
  Row row;
  bool more = next(row);
  while (more) {
    r.RestoreTabs(2);
    r.RestoreFont(2);
    r.AdjustLine();
    if (r.LinesLeft(0.25) < 1) r.NewPage();
    if (newPage && rowNumber > 1) layout.PrintCatalogHeader(catalog, false);
    newPage = false;
    r.SetDefaultShade(rowNumber % 2 == 0 && o.shaded ? 10 : 0);
    layout.PrintRecordRow(row, false, false);
    if (o.full) {
      r.Bold(false);
      layout.PrintDescription(catalog, row);
    }
    more = next(row);
    ++rowNumber;
    if (o.full && total >= rowNumber && more) r.NewPage();
  }
  r.RestoreTabs(3);
  r.RestoreFont(3);
  r.AdjustLine();
  layout.PrintFooter(catalog, count, today);
}

void PrintRecordReport(report::TReport& r, const Options& o, const QString& catalog, const Row& row) {
  TCatalogLayout layout(r, o, true);
  layout.Setup();
  r.RestoreTabs(1);
  r.RestoreFont(1);
  r.AdjustLine();
  layout.PrintCatalogHeader(catalog, false);
  layout.PrintRecordRow(row, false, true);
  r.RestoreFont(2);
  r.AdjustLine();
  layout.PrintDescription(catalog, row);
}

}  // namespace reports
