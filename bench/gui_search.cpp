// The search window: Records > Search on every catalog of the large
// database by path, against SQLite counting the same paths with LIKE.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "datagen.h"
#include "gui_bench.h"
#include "peer.h"
#include "searchform.h"

namespace guibench {

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

// About a quarter of the paths found, and none.
void MeasureSearch(GuiRun& run) {
  const QString& peerDb = run.PeerDb();
  double peakKb = 0;
  for (const auto& [name, word] : {std::pair{"gui_search_many", bench::kManyWord}, std::pair{"gui_search_none", bench::kNoneWord}}) {
    std::vector<double> ours, peer;
    for (int i = 0; i < 3; ++i) {
      const QStringList out =
          RunChild(run.self, {"--search", run.large, "--text", QString::fromLatin1(word.data(), (int)word.size())}).split(' ');
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
  MemoryLine("gui_search_rss", peakKb);
}

}  // namespace guibench
