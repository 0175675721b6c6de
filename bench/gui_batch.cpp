// Moving and deleting the selected records through the window's batch form,
// against SQLite acting on the same rows in one transaction.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "catalogtabs.h"
#include "datagen.h"
#include "gui_bench.h"
#include "multifiles.h"
#include "peer.h"

namespace guibench {

// The window on `dir` showing the catalog of the selected records: every
// record selected, then moved to another catalog or deleted through the
// batch form. Prints the seconds from Select All to the window back, and
// the peak resident KiB.
int RecordBatch(const QString& dir, bool move) {
  TDataModule1 dm;
  dm.DataModule1Create(dir);
  TfrmVantrell w(dm, dir);
  w.show();
  QCoreApplication::processEvents();
  w.Catalogs().SelectCatalog(kSelected);
  QCoreApplication::processEvents();
  const int selected = dm.ApTable1.RecordCount();
  WhenFormReady([](TfrmMultiFiles& form) { form.findChild<QToolButton*>("sbtnDM")->click(); });
  QElapsedTimer t;
  t.start();
  w.findChild<QAction*>("mnuSelAll")->trigger();
  w.findChild<QAction*>(move ? "mnuMove" : "mnuRecDel")->trigger();
  QCoreApplication::processEvents();
  const double seconds = t.nsecsElapsed() / 1e9;
  if (selected == 0 || dm.ApTable1.RecordCount() != 0) throw std::runtime_error("the batch left selected records");
  std::printf("%.6f %ld\n", seconds, PeakRssKb());
  return 0;
}

// One in ten of the large database, all of one catalog; each run on a
// fresh copy of the database.
void MeasureBatch(GuiRun& run) {
  const QString& self = run.self;
  const QString& dir = run.dir;
  const QString& batchDb = run.BatchDb();
  const QString& peerDb = run.PeerDb();
  std::vector<int64_t> rowids;
  for (size_t r = 0; r < run.n; r += 10) rowids.push_back((int64_t)r + 1);
  double peakKb = 0;
  for (const bool move : {true, false}) {
    std::vector<double> ours, peer;
    const QString copy = dir + "/batch-copy", peerCopy = dir + "/batch-copy.sqlite";
    for (int i = 0; i < 3; ++i) {
      QDir(copy).removeRecursively();
      if (QProcess::execute("cp", {"-r", batchDb, copy}) != 0) throw std::runtime_error("cannot copy the database");
      const QStringList out = RunChild(self, {move ? "--move" : "--delete", copy}).split(' ');
      ours.push_back(out.value(0).toDouble());
      peakKb = std::max(peakKb, out.value(1).toDouble());
      QFile::remove(peerCopy);
      if (!QFile::copy(peerDb, peerCopy)) throw std::runtime_error("cannot copy the SQLite database");
      peer.push_back(bench::PeerBatch(peerCopy.toStdString(), rowids, move ? bench::kBigCatalog : std::string_view()));
    }
    QDir(copy).removeRecursively();
    QFile::remove(peerCopy);
    std::sort(ours.begin(), ours.end());
    std::sort(peer.begin(), peer.end());
    Line(move ? "gui_move_selected" : "gui_delete_selected", ours[1], peer[1], 1.0);
  }
  MemoryLine("gui_batch_rss", peakKb);
}

}  // namespace guibench
