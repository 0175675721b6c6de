// Catalog > Compare with Disk on a catalog scanned from a tree of as many
// files as the run's records, after 1 % of them changed (the command-line
// benchmark's tree and catalog, reused when it made them), against find
// listing the same tree.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "compareform.h"
#include "difftree.h"
#include "gui_bench.h"

namespace fs = std::filesystem;

namespace guibench {

namespace {

constexpr const char* kTreeCatalog = "Tree";

void RunTool(const QStringList& args) {
  QProcess p;
  p.start(QCoreApplication::applicationDirPath() + "/vantrell-db", args);
  if (!p.waitForFinished(3600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    throw std::runtime_error("vantrell-db " + args.join(' ').toStdString() + " failed: " +
                             QString::fromLocal8Bit(p.readAllStandardError()).toStdString());
}

}  // namespace

// The window on `dir`, the tree's catalog shown, Catalog > Compare with
// Disk: prints the seconds until the grid has painted its first rows, the
// seconds until the whole list is shown, the entries listed and the peak
// resident KiB.
int CompareWindow(const QString& dir) {
  TDataModule1 dm;
  dm.DataModule1Create(dir);
  TfrmVantrell w(dm, dir);
  w.show();
  QCoreApplication::processEvents();
  QTabBar* tabs = w.findChild<QTabBar*>("TabControl1");
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == kTreeCatalog) tabs->setCurrentIndex(i);
  QCoreApplication::processEvents();
  QElapsedTimer t;
  double first = -1, whole = -1;
  int entries = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* form = qobject_cast<TfrmCompare*>(QApplication::activeModalWidget());
    if (form == nullptr) return;
    auto* grid = form->findChild<QTableView*>("CompareGrid");
    const disks::CompareModel& model = form->Model();
    if (first < 0 && model.rowCount() > 0) {
      grid->viewport()->repaint();
      first = t.nsecsElapsed() / 1e9;
    }
    if (first >= 0 && !form->Running() && !model.Provisional() && model.rowCount() > 0) {
      grid->viewport()->repaint();
      whole = t.nsecsElapsed() / 1e9;
      entries = model.rowCount();
      poll.stop();
      form->findChild<QPushButton*>("btnClose")->click();
    }
  });
  poll.start(5);
  t.start();
  w.findChild<QAction*>("mnuCompareDisk")->trigger();
  if (whole < 0) throw std::runtime_error("the compare listed nothing");
  std::printf("%.6f %.6f %d %ld\n", first, whole, entries, PeakRssKb());
  return 0;
}

void MeasureCompare(GuiRun& run) {
  const size_t files = run.n;
  const fs::path work = run.dir.toStdString();
  const fs::path tree = work / "diff-tree", marker = work / "diff-tree.built";
  const QString db = run.dir + "/cmd-diff";
  std::ifstream in(marker);
  size_t made = 0;
  if (!(in >> made && made == files && QFile::exists(db + "/VTLDataA.dbf"))) {
    std::printf("# making a tree of %zu files, scanning it and changing 1 %% (not timed)\n", files);
    std::fflush(stdout);
    fs::remove(marker);
    bench::MakeTree(tree, work / "diff-tree.files", files);
    QDir(db).removeRecursively();
    RunTool({"create", db});
    RunTool({"scan", db, kTreeCatalog, QString::fromStdString(tree.string())});
    bench::ChangeOnePercent(tree, files);
    fs::remove(work / "diff-tree.files");
    std::ofstream(marker) << files << "\n";
  }
  std::vector<double> firsts, wholes, peer;
  double peakKb = 0;
  const QString find = "find '" + QString::fromStdString(tree.string()) + "' -type f -printf '%p\\t%s\\t%T@\\n' > /dev/null";
  for (int i = 0; i < 3; ++i) {
    const QStringList out = RunChild(run.self, {"--compare", db}).split(' ');
    firsts.push_back(out.value(0).toDouble());
    wholes.push_back(out.value(1).toDouble());
    peakKb = std::max(peakKb, out.value(3).toDouble());
    if (out.value(2).toLongLong() == 0) throw std::runtime_error("the compare listed no entry");
    QElapsedTimer t;
    t.start();
    if (QProcess::execute("sh", {"-c", find}) != 0) throw std::runtime_error("find failed");
    peer.push_back(t.nsecsElapsed() / 1e9);
  }
  std::sort(firsts.begin(), firsts.end());
  std::sort(wholes.begin(), wholes.end());
  std::sort(peer.begin(), peer.end());
  // The first rows against a budget of one second; the whole list against find.
  Line("gui_compare_first", firsts[1], 1.0, 1.0);
  Line("gui_compare", wholes[1], peer[1], 2.5);
  MemoryLine("gui_compare_rss", peakKb);
}

}  // namespace guibench
