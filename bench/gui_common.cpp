// What the window benchmark's measures share: the generated databases, the
// main window shown on one, the batch form driven, the child processes and
// the BENCH lines.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "createdb.h"
#include "datafiles.h"
#include "datagen.h"
#include "gui_bench.h"
#include "multifiles.h"
#include "peer.h"

namespace guibench {

QElapsedTimer g_clock;

namespace {

int BigTab(TfrmVantrell& w) {
  QTabBar* tabs = w.findChild<QTabBar*>("TabControl1");
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == QString::fromUtf8(bench::kBigCatalog.data(), (int)bench::kBigCatalog.size()))
      return i;
  return -1;
}

}  // namespace

void MakeDatabase(const QString& dir, size_t n, bool oneCatalog, int selectEvery) {
  // Always afresh: appending to a database left by an earlier run in the
  // same folder would double it.
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  auto result = store::CreateDatabaseFiles(dir);
  if (!result.ok()) throw std::runtime_error("cannot create the database in " + dir.toStdString());
  bench::Dataset ds = bench::Generate(n, 42);
  xbase::Environment env;
  xbase::Table t(env), names(env);
  t.SetDatabaseName(store::EnginePath(dir));
  t.SetTableName(store::kRecordsTable);
  t.SetExclusive(true);
  t.Open();
  t.BeginBatch();
  for (size_t r = 0; r < ds.rows.size(); ++r) {
    t.Append();
    for (int f = 0; f < bench::kFieldCount; ++f) {
      std::string_view v = ds.rows.field(r, (bench::Field)f);
      if (oneCatalog && f == bench::kCatalog) v = bench::kBigCatalog;
      if (selectEvery > 0 && r % (size_t)selectEvery == 0 && f == bench::kCatalog) v = kSelected;
      if (!v.empty()) t.SetFieldByName(bench::kFieldNames[f], v);
    }
    t.Post();
  }
  t.EndBatch();
  names.SetDatabaseName(store::EnginePath(dir));
  names.SetTableName(store::kCatalogTable);
  names.SetExclusive(true);
  names.Open();
  std::vector<std::string> catalogs = ds.catalogs;
  if (selectEvery > 0) catalogs.emplace_back(kSelected);
  for (const std::string& c : catalogs) {
    if (oneCatalog && c != bench::kBigCatalog) continue;
    names.Append();
    names.SetFieldByName("Catalog", c);
    names.Post();
  }
}

BenchWindow::BenchWindow(const QString& dir) {
  dm.DataModule1Create(dir);
  w = std::make_unique<TfrmVantrell>(dm, dir);
  w->show();
  QCoreApplication::processEvents();
  big = BigTab(*w);
  if (big < 0) throw std::runtime_error("no tab for the big catalog");
}

void WhenFormReady(const std::function<void(TfrmMultiFiles&)>& click) {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, [poll, click] {
    auto* form = qobject_cast<TfrmMultiFiles*>(QApplication::activeModalWidget());
    if (form == nullptr || !form->findChild<QToolButton*>("sbtnDM")->isEnabled()) return;
    poll->deleteLater();
    poll->stop();
    click(*form);
  });
  poll->start(1);
}

QString RunChild(const QString& self, const QStringList& args) {
  QProcess p;
  p.start(self, args);
  if (!p.waitForFinished(600000) || p.exitCode() != 0)
    throw std::runtime_error("child failed: " + QString::fromLocal8Bit(p.readAllStandardError()).toStdString());
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

void Line(const char* name, double ours, double peer, double target) {
  double ratio = peer > 0 ? ours / peer : 0;
  std::printf("BENCH %s ours=%.6f peer=%.6f ratio=%.3f target=%.1f %s\n", name, ours, peer, ratio, target,
              ratio <= target ? "ok" : "SLOW");
  std::fflush(stdout);
}


void MemoryLine(const char* name, double kb) {
  const double mb = kb / 1024.0;
  std::printf("BENCH %s ours=%.1f peer=200 ratio=%.3f target=1.0 %s\n", name, mb, mb / 200.0,
              mb <= 200.0 ? "ok" : "SLOW");
  std::fflush(stdout);
}

const QString& GuiRun::BatchDb() {
  MakeBatchDatabases();
  return batchDb_;
}

const QString& GuiRun::PeerDb() {
  MakeBatchDatabases();
  return peerDb_;
}

void GuiRun::MakeBatchDatabases() {
  if (!batchDb_.isEmpty()) return;
  const QString batchDb = dir + "/batch-db", peerDb = dir + "/batch-peer.sqlite";
  MakeDatabase(batchDb, n, false, 10);
  {
    const bench::Dataset ds = bench::Generate(n, 42);
    QFile::remove(peerDb);
    bench::PeerCreateAndInsert(peerDb.toStdString(), ds.rows);
    bench::PeerSetCatalog(peerDb.toStdString(), kSelected, 10);
  }
  batchDb_ = batchDb;
  peerDb_ = peerDb;
}

}  // namespace guibench
