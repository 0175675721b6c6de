// The window benchmark (vantrell-gui-bench): what its files share.
//
// Each measure has two halves: a child mode that runs the program's window
// in a process of its own and prints its figures (seconds, counts, peak
// resident KiB), and a measure that makes the data, starts the children and
// its peer, and prints the BENCH lines. Both halves of one kind of measure
// live in one file:
//
//   gui_browse.cpp  start-up, tab switch, the memory of a walked grid
//   gui_add.cpp     adding a folder and a tree of files as one batch
//   gui_batch.cpp   moving and deleting the selected records
//   gui_search.cpp  the search window
//   gui_report.cpp  the short catalog report to PDF
//   gui_maint.cpp   pack and reindex from the Options menu
//   gui_compare.cpp Compare with Disk on a catalog of a changed folder tree
//   gui_common.cpp  the databases, the window, the children, the BENCH lines
//   gui_bench.cpp   the options, the table of child modes and of measures
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>

#include "datamodule.h"
#include "mainwindow.h"
#include "proc.h"

class TfrmMultiFiles;

namespace guibench {

// The peak resident KiB of this process, as the child modes print it.
using bench::PeakRssKb;

// Started first thing in main: the start-up measure reads it.
extern QElapsedTimer g_clock;

// The catalog of the records the move and delete measures select.
constexpr const char* kSelected = "Selected";

// A database of the program (both tables, their index files) with `n`
// generated records and their catalog names; `oneCatalog`: every record in
// the big catalog; `selectEvery`: every such record in kSelected.
void MakeDatabase(const QString& dir, size_t n, bool oneCatalog = false, int selectEvery = 0);

// The main window on `dir`, shown, and the tab of the big catalog.
struct BenchWindow {
  explicit BenchWindow(const QString& dir);
  TDataModule1 dm;
  std::unique_ptr<TfrmVantrell> w;
  int big = -1;
};

// Runs `click` on the batch form once it is up and ready (a tree listed).
void WhenFormReady(const std::function<void(TfrmMultiFiles&)>& click);

// Runs this program in a child mode and returns its standard output,
// trimmed; throws when it fails.
QString RunChild(const QString& self, const QStringList& args);

// A time against the peer's: "BENCH name ours=… peer=… ratio=… target=… ok|SLOW".
void Line(const char* name, double ours, double peer, double target);
// A peak resident size in KiB against the window's budget of 200 MiB.
void MemoryLine(const char* name, double kb);

// What the measures of one run share: this program, the work folder, the
// record count, and the large database every measure of it uses.
struct GuiRun {
  QString self, dir, large;
  size_t n = 0;
  // The large database with every tenth record in kSelected, and the same
  // rows in SQLite; made by the first measure that asks.
  const QString& BatchDb();
  const QString& PeerDb();

 private:
  void MakeBatchDatabases();
  QString batchDb_, peerDb_;
};

// The child modes, each printing its figures on one line.
int Startup(const QString& dir);
int Session(const QString& dir);
int Walk(const QString& dir);
int AddBatch(const QString& folder, bool tree, const QString& data);
int RecordBatch(const QString& dir, bool move);
int SearchWindow(const QString& dir, const QString& text);
int CatalogReport(const QString& dir, const QString& catalog, const QString& pdf);
int PlainReport(const QString& dir, const QString& catalog, const QString& pdf);
int Maintenance(const QString& dir, bool pack);
int CompareWindow(const QString& dir);

// The measures, each printing its BENCH lines.
void MeasureBrowse(GuiRun& run);
void MeasureAdd(GuiRun& run);
void MeasureBatch(GuiRun& run);
void MeasureSearch(GuiRun& run);
void MeasureReport(GuiRun& run);
void MeasureMaintenance(GuiRun& run);
void MeasureCompare(GuiRun& run);

}  // namespace guibench
