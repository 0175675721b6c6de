// Start-up, tab switch and memory: the main window shown on the large and
// the small database, the large catalog's tab selected, and the grid of a
// one-catalog database walked from the first row to the last.
#include <QApplication>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "catalogtabs.h"
#include "datagrid.h"
#include "gui_bench.h"

namespace guibench {
namespace {

double MedianStartup(const QString& self, const QString& dir, int runs) {
  std::vector<double> v;
  for (int i = 0; i < runs; ++i) v.push_back(RunChild(self, {"--startup", dir}).toDouble());
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int Startup(const QString& dir) {
  TDataModule1 dm;
  dm.DataModule1Create(dir);
  TfrmVantrell w(dm, dir);
  w.show();
  QCoreApplication::processEvents();
  std::printf("%.6f\n", g_clock.nsecsElapsed() / 1e9);
  return 0;
}

// The main window on `dir`, shown, and the tab of the big catalog.
int Session(const QString& dir) {
  BenchWindow bw(dir);
  TfrmVantrell& w = *bw.w;
  const int big = bw.big;
  std::vector<double> times;
  for (int i = 0; i < 9; ++i) {
    w.Catalogs().SelectTab(big == 0 ? 1 : 0);
    QCoreApplication::processEvents();
    QElapsedTimer t;
    t.start();
    w.Catalogs().SelectTab(big);
    QCoreApplication::processEvents();  // the grid paints its first screen
    times.push_back(t.nsecsElapsed() / 1e9);
  }
  std::sort(times.begin(), times.end());
  std::printf("%.6f\n", times[times.size() / 2]);
  return 0;
}

// The window on a database whose records all lie in one catalog, its grid
// walked from the first row to the last as a user dragging the scroll bar
// would: a few thousand screens spread over every part of it, each painted,
// then the end. Prints the peak resident KiB.
int Walk(const QString& dir) {
  BenchWindow bw(dir);
  TfrmVantrell& w = *bw.w;
  const int big = bw.big;
  w.Catalogs().SelectTab(big);
  QCoreApplication::processEvents();
  auto* grid = w.findChild<TRxDBGrid*>("RxDBGrid1");
  QScrollBar* bar = grid->verticalScrollBar();
  constexpr int kScreens = 4000;
  for (int i = 0; i <= kScreens; ++i) {
    bar->setValue((int)((int64_t)bar->maximum() * i / kScreens));
    grid->viewport()->repaint();
    QCoreApplication::processEvents();
  }
  grid->scrollToBottom();
  QCoreApplication::processEvents();
  std::printf("%ld\n", PeakRssKb());
  return 0;
}

void MeasureBrowse(GuiRun& run) {
  const QString& self = run.self;
  const QString& large = run.large;
  const QString small = run.dir + "/gui-small", one = run.dir + "/gui-one";
  MakeDatabase(small, 1000);
  MakeDatabase(one, run.n, true);
  double startLarge = MedianStartup(self, large, 5);
  double startSmall = MedianStartup(self, small, 5);
  Line("gui_startup", startLarge, startSmall, 2.0);
  Line("gui_tab_switch", RunChild(self, {"--tabs", large}).toDouble(), RunChild(self, {"--tabs", small}).toDouble(),
       2.0);
  MemoryLine("gui_rss", RunChild(self, {"--walk", one}).toDouble());
}

}  // namespace guibench
