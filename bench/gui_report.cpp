// The short catalog report to PDF from the window, in seconds per page
// against a plain drawing loop over the same rows, and its memory on a
// large catalog.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogtabs.h"
#include "datafiles.h"
#include "datagen.h"
#include "gui_bench.h"
#include "reportcommands.h"
#include "settings.h"

namespace guibench {

// The window on `dir` showing `catalog`: the short catalog report of it
// written to a PDF file. Prints the seconds from the command to the window
// back, the pages, and the peak resident KiB.
int CatalogReport(const QString& dir, const QString& catalog, const QString& pdf) {
  TSettings().Write(settings::kFullShort, false);
  TDataModule1 dm;
  dm.DataModule1Create(dir);
  TfrmVantrell w(dm, dir);
  w.show();
  QCoreApplication::processEvents();
  w.Catalogs().SelectCatalog(catalog);
  QCoreApplication::processEvents();
  w.Reports().ReportSystem1.askSetup = false;
  w.Reports().ReportSystem1.destination = report::Destination::File;
  w.Reports().ReportSystem1.fileName = pdf;
  QElapsedTimer t;
  t.start();
  w.findChild<QAction*>("mnuCatRpt")->trigger();
  const double seconds = t.nsecsElapsed() / 1e9;
  if (w.Reports().ReportSystem1.Pages() < 2) throw std::runtime_error("the report made no pages");
  std::printf("%.6f %d %ld\n", seconds, w.Reports().ReportSystem1.Pages(), PeakRssKb());
  return 0;
}

// The same rows' texts drawn by a plain loop on a PDF writer: one line per
// record in the same font and line height, the page full when the next
// line would cross the bottom margin. Prints the seconds and the pages.
int PlainReport(const QString& dir, const QString& catalog, const QString& pdf) {
  xbase::Environment env;
  xbase::Table t(env);
  t.SetDatabaseName(store::EnginePath(dir));
  t.SetTableName(store::kRecordsTable);
  t.SetIndexTag(store::kRecordsTag);
  t.Open();
  t.SetQuery(store::CatalogQueryUtf8(store::ToUtf8(catalog)));
  QElapsedTimer clock;
  clock.start();
  QPdfWriter writer(pdf);
  writer.setPageSize(QPageSize(QPageSize::Letter));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setResolution(600);
  QPainter p(&writer);
  QFont font("Arial");
  font.setPointSizeF(8);
  p.setFont(QFont(font, &writer));
  const double dpi = writer.logicalDpiY(), line = 1.2 * 8 / 72 * dpi;
  double y = 0.5 * dpi;
  int pages = 1;
  const int fields[] = {t.FieldIndex(store::kFieldTitle), t.FieldIndex(store::kFieldName), t.FieldIndex(store::kFieldSize),
                        t.FieldIndex(store::kFieldDate)};
  const double xs[] = {0.6, 3.95, 6.95, 7.4};
  t.ForEachRecord([&](const xbase::RecordRef& r) {
    if (y + line > (11 - 0.5) * dpi) {
      writer.newPage();
      ++pages;
      y = 0.5 * dpi;
    }
    for (int f = 0; f < 4; ++f) {
      const std::string_view v = r.Text(fields[f]);
      p.drawText(QPointF(xs[f] * dpi, y + line), QString::fromUtf8(v.data(), (qsizetype)v.size()));
    }
    y += line;
    return true;
  });
  p.end();
  std::printf("%.6f %d\n", clock.nsecsElapsed() / 1e9, pages);
  return 0;
}

// The big catalog (10,000 records), pages per second against the plain
// loop; the memory on the 100,000 records of the selected catalog.
void MeasureReport(GuiRun& run) {
  const QString& self = run.self;
  const QString& dir = run.dir;
  const QString& large = run.large;
  const QString& batchDb = run.BatchDb();
  const QString bigName = QString::fromUtf8(bench::kBigCatalog.data(), (int)bench::kBigCatalog.size());
  std::vector<double> ours, peer;
  for (int i = 0; i < 3; ++i) {
    const QStringList out = RunChild(self, {"--report", large, "--catalog", bigName, "--pdf", dir + "/report.pdf"}).split(' ');
    const QStringList plain =
        RunChild(self, {"--plain-report", large, "--catalog", bigName, "--pdf", dir + "/plain.pdf"}).split(' ');
    // Seconds per page, each against its own page count.
    ours.push_back(out.value(0).toDouble() / std::max(1, out.value(1).toInt()));
    peer.push_back(plain.value(0).toDouble() / std::max(1, plain.value(1).toInt()));
  }
  std::sort(ours.begin(), ours.end());
  std::sort(peer.begin(), peer.end());
  Line("gui_report_page", ours[1], peer[1], 2.0);
  const QStringList big = RunChild(self, {"--report", batchDb, "--catalog", kSelected, "--pdf", dir + "/report.pdf"}).split(' ');
  MemoryLine("gui_report_rss", big.value(2).toDouble());
  QFile::remove(dir + "/report.pdf");
  QFile::remove(dir + "/plain.pdf");
}

}  // namespace guibench
