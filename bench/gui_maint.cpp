// Pack and reindex from the window's Options menu, against the command-line
// tool running the engine's own pack and reindex on the same files.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "datafiles.h"
#include "gui_bench.h"

namespace guibench {

// The window on `dir`, Options > Database > Pack (or Reindex): prints the
// seconds from the command until the window shows its catalog again, and
// the peak resident KiB.
int Maintenance(const QString& dir, bool pack) {
  TDataModule1 dm;
  dm.DataModule1Create(dir);
  TfrmVantrell w(dm, dir);
  w.show();
  QCoreApplication::processEvents();
  const int shown = dm.ApTable1.RecordCount();
  QElapsedTimer t;
  t.start();
  w.findChild<QAction*>(pack ? "mnuPack" : "mnuReindex")->trigger();
  QCoreApplication::processEvents();
  const double seconds = t.nsecsElapsed() / 1e9;
  const QString status = w.StatusText(0);
  if (!status.startsWith(pack ? "Database pack complete..." : "Reindex complete..."))
    throw std::runtime_error("the window said \"" + status.toStdString() + "\"");
  if (!pack && dm.ApTable1.RecordCount() != shown) throw std::runtime_error("the reindex changed the catalog");
  std::printf("%.6f %ld\n", seconds, PeakRssKb());
  return 0;
}

// The large database with its selected tenth deleted; each run on a fresh
// copy.
void MeasureMaintenance(GuiRun& run) {
  const QString& self = run.self;
  const QString& dir = run.dir;
  const QString& batchDb = run.BatchDb();
  const size_t n = run.n;
  const QString deleted = dir + "/maint-db";
  QDir(deleted).removeRecursively();
  if (QProcess::execute("cp", {"-r", batchDb, deleted}) != 0) throw std::runtime_error("cannot copy the database");
  {
    xbase::Environment env;
    xbase::Table t(env);
    t.SetDatabaseName(store::EnginePath(deleted));
    t.SetTableName(store::kRecordsTable);
    t.SetExclusive(true);
    t.Open();
    t.BeginBatch();
    for (uint32_t r = 1; r <= (uint32_t)n; r += 10) t.DeleteRecordOf(r);
    t.EndBatch();
  }
  const QString cli = QFileInfo(self).absolutePath() + "/vantrell-db";
  double peakKb = 0;
  for (const bool pack : {true, false}) {
    std::vector<double> ours, peer;
    const QString copy = dir + "/maint-copy";
    for (int i = 0; i < 3; ++i) {
      QDir(copy).removeRecursively();
      if (QProcess::execute("cp", {"-r", deleted, copy}) != 0) throw std::runtime_error("cannot copy the database");
      const QStringList out = RunChild(self, {pack ? "--pack" : "--reindex", copy}).split(' ');
      ours.push_back(out.value(0).toDouble());
      peakKb = std::max(peakKb, out.value(1).toDouble());
      QDir(copy).removeRecursively();
      if (QProcess::execute("cp", {"-r", deleted, copy}) != 0) throw std::runtime_error("cannot copy the database");
      QElapsedTimer t;
      t.start();
      if (QProcess::execute(cli, {pack ? "pack" : "reindex", copy}) != 0)
        throw std::runtime_error("vantrell-db could not " + std::string(pack ? "pack" : "reindex"));
      peer.push_back(t.nsecsElapsed() / 1e9);
    }
    QDir(copy).removeRecursively();
    std::sort(ours.begin(), ours.end());
    std::sort(peer.begin(), peer.end());
    Line(pack ? "gui_pack" : "gui_reindex", ours[1], peer[1], 1.5);
  }
  QDir(deleted).removeRecursively();
  MemoryLine("gui_maint_rss", peakKb);
}

}  // namespace guibench
