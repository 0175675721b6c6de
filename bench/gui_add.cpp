// Adding files as one batch through the window: a folder of files, and a
// tree of folders with Include subfolders, against find listing them.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "addtocatalog.h"
#include "createdb.h"
#include "datafiles.h"
#include "filelist.h"
#include "foldertree.h"
#include "gui_bench.h"
#include "multifiles.h"

namespace guibench {
namespace {

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

}  // namespace

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

// 100,000 files in one folder, and 100,000 in 1,000 folders with
// subfolders included (a tenth of the records each, at most 100,000).
void MeasureAdd(GuiRun& run) {
  const QString& self = run.self;
  const QString& dir = run.dir;
  const int files = (int)std::min<size_t>(run.n / 10, 100000);
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
  MemoryLine("gui_add_rss", peakKb);
}

}  // namespace guibench
