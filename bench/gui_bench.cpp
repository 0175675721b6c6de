// The program's own window against a large and a small database: time from
// start to the main window shown, a tab switch to a 10,000-record catalog,
// and the resident memory of the running program.
//
//   vantrell-gui-bench --dir DIR [--records N]        all measures, BENCH lines
//   vantrell-gui-bench --startup DATADIR              (child) seconds to the window shown
//   vantrell-gui-bench --tabs DATADIR                 (child) tab switch seconds and peak memory
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QTimer>
#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QTableView>
#include <QToolButton>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTabBar>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <tuple>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "createdb.h"
#include "filelist.h"
#include "batchpass.h"
#include "datafiles.h"
#include "datagen.h"
#include "datagrid.h"
#include "datamodule.h"
#include "catalogtabs.h"
#include "mainwindow.h"
#include "mainwindowservices.h"
#include "recordcommands.h"
#include "recordpanel.h"
#include "reportcommands.h"
#include "statuspanels.h"
#include "addtocatalog.h"
#include "foldertree.h"
#include "multifiles.h"
#include "searchform.h"
#include "settings.h"
#include "peer.h"

namespace {

QElapsedTimer g_clock;  // started first thing in main

// The catalog of the records the move and delete measures select.
constexpr const char* kSelected = "Selected";

// How many ordinary files lie in `folder` (with `tree`, below it too).
int FileCount(const QString& folder, bool tree) {
  int n = 0;
  QDirIterator it(folder, QDir::Files, tree ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
  while (it.hasNext()) {
    it.next();
    ++n;
  }
  return n;
}

long PeakRssKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// A database of the program (both tables, their index files) with `n`
// generated records and their catalog names; `oneCatalog`: every record in
// the big catalog.
void MakeDatabase(const QString& dir, size_t n, bool oneCatalog = false, int selectEvery = 0) {
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

int BigTab(TfrmVantrell& w) {
  QTabBar* tabs = w.findChild<QTabBar*>("TabControl1");
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == QString::fromUtf8(bench::kBigCatalog.data(), (int)bench::kBigCatalog.size()))
      return i;
  return -1;
}

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
struct BenchWindow {
  explicit BenchWindow(const QString& dir) {
    dm.DataModule1Create(dir);
    w = std::make_unique<TfrmVantrell>(dm, dir);
    w->show();
    QCoreApplication::processEvents();
    big = BigTab(*w);
    if (big < 0) throw std::runtime_error("no tab for the big catalog");
  }
  TDataModule1 dm;
  std::unique_ptr<TfrmVantrell> w;
  int big = -1;
};

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

// Runs `click` on the batch form once it is up and ready (a tree listed).
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

// Adds every file of `folder` (with `tree`, every file below it) to a new
// database in `data` as one batch, through the window as a user does: the
// add-files dialog pointed at the folder, its files all chosen (or Include
// subfolders), Add, then Add on the batch form; the record added last opens
// for editing. Prints the seconds from choosing the folder to the window
// back, and the peak resident KiB.
int AddBatch(const QString& folder, bool tree, const QString& data) {
  QDir(data).removeRecursively();
  QDir().mkpath(data);
  if (!store::CreateDatabaseFiles(data).ok()) throw std::runtime_error("cannot create the database in " + data.toStdString());
  {
    xbase::Environment env;
    xbase::Table names(env);
    names.SetDatabaseName(store::EnginePath(data));
    names.SetTableName(store::kCatalogTable);
    names.Open();
    names.Append();
    names.SetFieldByName("Catalog", "Bench");
    names.Post();
  }
  TDataModule1 dm;
  dm.DataModule1Create(data);
  TfrmVantrell w(dm, data);
  w.show();
  QCoreApplication::processEvents();
  QElapsedTimer t;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TfrmAddToCatalog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) throw std::runtime_error("the add-files dialog did not open");
    t.start();
    dialog->findChild<Tdirtree*>("dirtree1")->SetDirectory(folder);
    if (tree) {
      dialog->findChild<QCheckBox*>("chkSubfolders")->setChecked(true);
    } else {
      auto* list = dialog->findChild<TRzFileListBox*>("RzFileListBox1");
      while (!list->Loaded()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      list->selectAll();
    }
    WhenFormReady([](TfrmMultiFiles& form) { form.findChild<QToolButton*>("sbtnDM")->click(); });
    dialog->findChild<QToolButton*>("sbtnSave")->click();
  });
  w.findChild<QAction*>("mnuRecAdd")->trigger();
  const double seconds = t.nsecsElapsed() / 1e9;
  if (w.findChild<QLabel*>("Label6")->text() != QString::number(FileCount(folder, tree)))
    throw std::runtime_error("the batch added fewer files than the folder holds");
  std::printf("%.6f %ld\n", seconds, PeakRssKb());
  return 0;
}

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

// The window on `dir`, Records > Search, the text typed and Search pressed
// with "File Name" checked: prints the seconds until the count is shown and
// the grid has painted its first rows, and the number found.
int SearchWindow(const QString& dir, const QString& text) {
  TDataModule1 dm;
  dm.DataModule1Create(dir);
  TfrmVantrell w(dm, dir);
  w.show();
  QCoreApplication::processEvents();
  double seconds = -1;
  QString found;
  QTimer::singleShot(0, [&] {
    auto* form = qobject_cast<TfrmSearch*>(QApplication::activeModalWidget());
    if (form == nullptr) throw std::runtime_error("the search window did not open");
    QCoreApplication::processEvents();
    auto* grid = form->findChild<QTableView*>("StringGrid1");
    auto* search = form->findChild<QToolButton*>("sbtnSearch");
    form->findChild<QLineEdit*>("Edit1")->setText(text);
    QElapsedTimer t;
    t.start();
    search->click();
    grid->viewport()->repaint();
    seconds = t.nsecsElapsed() / 1e9;
    found = form->findChild<QLabel*>("Label3")->text();
    form->findChild<QToolButton*>("sbtnExit")->click();
  });
  w.findChild<QAction*>("mnuSearch")->trigger();
  if (seconds < 0) throw std::runtime_error("the search did not run");
  std::printf("%.6f %s %ld\n", seconds, qPrintable(found), PeakRssKb());
  return 0;
}

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

// Empty files for the add measures: `folders` folders of `each` files
// (one folder: the files straight in `root`). Made once.
void MakeFiles(const QString& root, int folders, int each) {
  if (QFileInfo::exists(root + "/.made")) return;
  QDir(root).removeRecursively();
  for (int d = 0; d < folders; ++d) {
    const QString folder = folders == 1 ? root : root + QString("/d%1").arg(d, 4, 10, QChar('0'));
    QDir().mkpath(folder);
    for (int i = 0; i < each; ++i) {
      QFile f(folder + QString("/file %1.dat").arg(i, 6, 10, QChar('0')));
      if (!f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot make " + f.fileName().toStdString());
    }
  }
  QFile(root + "/.made").open(QIODevice::WriteOnly);
}

// `find` listing the same files with their size and time, as a process.
double FindSeconds(const QString& root, bool tree) {
  QStringList args{root};
  if (!tree) args << "-maxdepth" << "1";
  args << "-type" << "f" << "-printf" << "%s %T@ %p\n";
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  QElapsedTimer t;
  t.start();
  p.start("find", args);
  if (!p.waitForFinished(600000)) throw std::runtime_error("find did not finish");
  return t.nsecsElapsed() / 1e9;
}

QString RunChild(const QString& self, const QStringList& args) {
  QProcess p;
  p.start(self, args);
  if (!p.waitForFinished(600000) || p.exitCode() != 0)
    throw std::runtime_error("child failed: " + QString::fromLocal8Bit(p.readAllStandardError()).toStdString());
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

double MedianStartup(const QString& self, const QString& dir, int runs) {
  std::vector<double> v;
  for (int i = 0; i < runs; ++i) v.push_back(RunChild(self, {"--startup", dir}).toDouble());
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Line(const char* name, double ours, double peer, double target) {
  double ratio = peer > 0 ? ours / peer : 0;
  std::printf("BENCH %s ours=%.6f peer=%.6f ratio=%.3f target=%.1f %s\n", name, ours, peer, ratio, target,
              ratio <= target ? "ok" : "SLOW");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  g_clock.start();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName("Brannock");
  QCoreApplication::setApplicationName("Vantrell");
  QStringList args = app.arguments();
  auto value = [&](const char* opt) {
    int i = args.indexOf(opt);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
  };
  try {
    if (!value("--startup").isEmpty()) return Startup(value("--startup"));
    if (!value("--tabs").isEmpty()) return Session(value("--tabs"));
    if (!value("--walk").isEmpty()) return Walk(value("--walk"));
    if (!value("--add-folder").isEmpty()) return AddBatch(value("--add-folder"), false, value("--data"));
    if (!value("--add-tree").isEmpty()) return AddBatch(value("--add-tree"), true, value("--data"));
    if (!value("--move").isEmpty()) return RecordBatch(value("--move"), true);
    if (!value("--search").isEmpty()) return SearchWindow(value("--search"), value("--text"));
    if (!value("--report").isEmpty()) return CatalogReport(value("--report"), value("--catalog"), value("--pdf"));
    if (!value("--plain-report").isEmpty()) return PlainReport(value("--plain-report"), value("--catalog"), value("--pdf"));
    if (!value("--delete").isEmpty()) return RecordBatch(value("--delete"), false);
    if (!value("--pack").isEmpty()) return Maintenance(value("--pack"), true);
    if (!value("--reindex").isEmpty()) return Maintenance(value("--reindex"), false);
    QString dir = value("--dir");
    if (dir.isEmpty()) {
      std::fprintf(stderr, "usage: vantrell-gui-bench --dir DIR [--records N]\n");
      return 2;
    }
    size_t n = value("--records").isEmpty() ? 1000000 : value("--records").toULongLong();
    // Settings and sockets of this run only.
    qputenv("XDG_CONFIG_HOME", (dir + "/config").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      QString runtime = dir + "/runtime";
      QDir().mkpath(runtime);
      QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    QString large = dir + "/gui-large", small = dir + "/gui-small", one = dir + "/gui-one";
    MakeDatabase(large, n);
    MakeDatabase(small, 1000);
    MakeDatabase(one, n, true);
    QString self = QCoreApplication::applicationFilePath();
    double startLarge = MedianStartup(self, large, 5);
    double startSmall = MedianStartup(self, small, 5);
    Line("gui_startup", startLarge, startSmall, 2.0);
    Line("gui_tab_switch", RunChild(self, {"--tabs", large}).toDouble(), RunChild(self, {"--tabs", small}).toDouble(),
         2.0);
    double mb = RunChild(self, {"--walk", one}).toDouble() / 1024.0;
    std::printf("BENCH gui_rss ours=%.1f peer=200 ratio=%.3f target=1.0 %s\n", mb, mb / 200.0,
                mb <= 200.0 ? "ok" : "SLOW");
    std::fflush(stdout);

    // Adding files as one batch: 100,000 in one folder, and 100,000 in 1,000
    // folders with subfolders included, against find listing them.
    const int files = (int)std::min<size_t>(n / 10, 100000);
    const QString flat = dir + "/add-flat", tree = dir + "/add-tree";
    MakeFiles(flat, 1, files);
    MakeFiles(tree, std::max(1, files / 100), 100);
    double peakKb = 0;
    for (const auto& [name, root, isTree] : {std::tuple{"gui_add_folder", flat, false}, std::tuple{"gui_add_tree", tree, true}}) {
      std::vector<double> ours, peer;
      for (int i = 0; i < 3; ++i) {
        const QStringList out =
            RunChild(self, {isTree ? "--add-tree" : "--add-folder", root, "--data", dir + "/add-db"}).split(' ');
        ours.push_back(out.value(0).toDouble());
        peakKb = std::max(peakKb, out.value(1).toDouble());
        peer.push_back(FindSeconds(root, isTree));
      }
      std::sort(ours.begin(), ours.end());
      std::sort(peer.begin(), peer.end());
      Line(name, ours[1], peer[1], 3.0);
    }
    const double addMb = peakKb / 1024.0;
    std::printf("BENCH gui_add_rss ours=%.1f peer=200 ratio=%.3f target=1.0 %s\n", addMb, addMb / 200.0,
                addMb <= 200.0 ? "ok" : "SLOW");
    std::fflush(stdout);

    // Moving and deleting the selected records: one in ten of the large
    // database, all of one catalog, against SQLite acting on the same rows
    // in one transaction. Each run on a fresh copy of the database.
    const QString batchDb = dir + "/batch-db", peerDb = dir + "/batch-peer.sqlite";
    MakeDatabase(batchDb, n, false, 10);
    {
      const bench::Dataset ds = bench::Generate(n, 42);
      QFile::remove(peerDb);
      bench::PeerCreateAndInsert(peerDb.toStdString(), ds.rows);
      bench::PeerSetCatalog(peerDb.toStdString(), kSelected, 10);
    }
    std::vector<int64_t> rowids;
    for (size_t r = 0; r < n; r += 10) rowids.push_back((int64_t)r + 1);
    peakKb = 0;
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
    const double batchMb = peakKb / 1024.0;
    std::printf("BENCH gui_batch_rss ours=%.1f peer=200 ratio=%.3f target=1.0 %s\n", batchMb, batchMb / 200.0,
                batchMb <= 200.0 ? "ok" : "SLOW");
    std::fflush(stdout);

    // Searching every catalog of the large database by path in the search
    // window, with about a quarter of the paths found and with none,
    // against SQLite counting the same paths with LIKE.
    peakKb = 0;
    for (const auto& [name, word] : {std::pair{"gui_search_many", bench::kManyWord}, std::pair{"gui_search_none", bench::kNoneWord}}) {
      std::vector<double> ours, peer;
      for (int i = 0; i < 3; ++i) {
        const QStringList out =
            RunChild(self, {"--search", large, "--text", QString::fromLatin1(word.data(), (int)word.size())}).split(' ');
        ours.push_back(out.value(0).toDouble());
        peakKb = std::max(peakKb, out.value(2).toDouble());
        QElapsedTimer t;
        t.start();
        const int64_t counted = bench::PeerCountLike(peerDb.toStdString(), word);
        peer.push_back(t.nsecsElapsed() / 1e9);
        if (out.value(1).toLongLong() != counted)
          throw std::runtime_error(std::string("the search window found ") + qPrintable(out.value(1)) + ", SQLite " +
                                   std::to_string(counted));
      }
      std::sort(ours.begin(), ours.end());
      std::sort(peer.begin(), peer.end());
      Line(name, ours[1], peer[1], 1.0);
    }
    const double searchMb = peakKb / 1024.0;
    std::printf("BENCH gui_search_rss ours=%.1f peer=200 ratio=%.3f target=1.0 %s\n", searchMb, searchMb / 200.0,
                searchMb <= 200.0 ? "ok" : "SLOW");
    std::fflush(stdout);

    // The short catalog report of the big catalog (10,000 records) to PDF,
    // pages per second against a plain drawing loop over the same rows;
    // its memory on the 100,000 records of the selected catalog.
    {
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
      const double reportMb = big.value(2).toDouble() / 1024.0;
      std::printf("BENCH gui_report_rss ours=%.1f peer=200 ratio=%.3f target=1.0 %s\n", reportMb, reportMb / 200.0,
                  reportMb <= 200.0 ? "ok" : "SLOW");
      QFile::remove(dir + "/report.pdf");
      QFile::remove(dir + "/plain.pdf");
    }

    // Pack and reindex of the database whose selected tenth was deleted,
    // from the window's menu, against the command-line tool running the
    // engine's own pack and reindex on the same files. Each on a fresh copy.
    {
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
      peakKb = 0;
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
      const double maintMb = peakKb / 1024.0;
      std::printf("BENCH gui_maint_rss ours=%.1f peer=200 ratio=%.3f target=1.0 %s\n", maintMb, maintMb / 200.0,
                  maintMb <= 200.0 ? "ok" : "SLOW");
      std::fflush(stdout);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrell-gui-bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
