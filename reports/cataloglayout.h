// The page layout of the catalog report and the record report: the
// catalog's name in its box, one row per file (title, path, size, date),
// descriptions continued over pages, and the footer with the count and the
// date. Positions are in inches from the paper's left edge.
#pragma once

#include <QDate>
#include <QString>

#include <functional>

#include "report.h"

namespace reports {

// The four report options, read when a report starts.
struct Options {
  bool full = true;     // one record a page with its description
  bool shaded = true;   // every second row, and the boxes, filled 10 %
  bool box = true;      // boxes around the header and the footer
  bool binder = false;  // everything but descriptions 0.2 inch to the right
};

// What a report prints of one record.
struct Row {
  QString title, path, size, date, description;
  bool reachable = true;  // red when its file is out of reach
};

// The date part of a record's date text, keeping the blank that ends it:
// everything before its time, in every form FLDATE is written in (a
// locale's short date and time, "yyyy-MM-dd HH:mm:ss", the older
// "dd/mm/yyyy hh:mm:ss"). A date stored without a time (a file dated at
// midnight) comes whole.
QString DateWithoutTime(const QString& text);

class TCatalogLayout {
 public:
  TCatalogLayout(report::TReport& r, const Options& o, bool recordMode);

  double LeftOffset() const { return options_.binder ? 0.7 : 0.5; }
  // Tab sets, pen, fonts, and the margins raised to the device's border.
  void Setup();
  void PrintCatalogHeader(const QString& catalog, bool continued);
  void PrintRecordRow(const Row& row, bool continued, bool emphasised);
  void PrintDescription(const QString& catalog, const Row& row);
  void PrintFooter(const QString& catalog, const QString& count, const QDate& today);
  // The path as the Path cell shows it: whole when it fits 2.8 inches,
  // else with its first folders after the root replaced by "...".
  QString FittedPath(const QString& path) const;

 private:
  report::TReport& r_;
  Options options_;
  bool recordMode_;
};

// The catalog report of `catalog`: rows from `next` (false when there are
// no more), `count` the catalog's number of records as the window shows it.
void PrintCatalogReport(report::TReport& r, const Options& o, const QString& catalog, const QString& count,
                        const std::function<bool(Row&)>& next, const QDate& today);

// The record report of one record of `catalog`.
void PrintRecordReport(report::TReport& r, const Options& o, const QString& catalog, const Row& row);

}  // namespace reports
