// The Database submenu of the Options menu: backup, pack and reindex.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabBar>

#include "backup.h"
#include "commandguard.h"
#include "datafiles.h"
#include "datagrid.h"
#include "datamodule.h"
#include "maintenance.h"
#include "mainwindow.h"
#include "prompts.h"

namespace {

// Keeps the window open while a pass runs: a close asked for meanwhile
// (the window manager's close box) would pull the window from under it.
class HoldOpen : public QObject {
 public:
  explicit HoldOpen(QWidget* window) : window_(window) { window_->installEventFilter(this); }
  ~HoldOpen() override { window_->removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    return false;
  }

 private:
  QWidget* window_;
};

QString BackupFailure(const store::BackupResult& r, const QString& backupDir) {
  QString text = QStringLiteral("The backup was not made");
  if (!r.problem.empty()) {
    text += ": " + command::ErrorText(store::FromUtf8(r.problem));
  } else {
    text += QStringLiteral(". These files could not be copied:");
    for (const std::string& f : r.failed) text += "\n" + store::FromUtf8(f);
  }
  if (r.hadPrevious) return text + "\nThe previous backup in " + QDir::toNativeSeparators(backupDir) + " is kept as it was.";
  return text + "\nThere was no earlier backup in " + QDir::toNativeSeparators(backupDir) + "; nothing was left there.";
}

}  // namespace

void TfrmVantrell::mnuBackupClick() {
  StatusPanel[0]->setText(QStringLiteral("Backup started..."));
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const std::string data = store::EnginePath(dataFolder_);
  const std::string backupDir = store::BackupFolderUtf8(data);
  store::BackupResult result;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool ran = RunCommand([&] { result = store::BackupDatabaseOf(dm_, data, backupDir); });
  QApplication::restoreOverrideCursor();
  if (!ran || !result.Complete()) {
    if (ran) prompts::Current().Message(this, prompts::Kind::Error, BackupFailure(result, store::FromUtf8(backupDir)));
    StatusPanel[0]->setText(QStringLiteral(" "));
    return;
  }
  ShowStatus(QStringLiteral("Backup complete..."));
}

void TfrmVantrell::mnuPackClick() {
  qint64 saved = 0;
  if (!RunMaintenance(QStringLiteral("Database pack started..."),
                      [&](const std::function<void()>& show, const std::function<void(double)>& progress) {
                        saved = store::PackRecords(dm_, show, progress);
                      }))
    return;
  // The pack numbered the records anew: rows chosen before it would now
  // name other records.
  RxDBGrid1->RecordsRenumbered();
  ShowStatus("Database pack complete...  (" + QString::number(saved) + " bytes smaller.)");
}

void TfrmVantrell::mnuReindexClick() {
  QStringList notes;
  if (!RunMaintenance(QStringLiteral("Reindex started..."),
                      [&](const std::function<void()>& show, const std::function<void(double)>& progress) {
                        notes = store::ReindexTables(dm_, show, progress);
                      }))
    return;
  // Index files that had to be made anew are named after the text.
  notes.prepend(QStringLiteral("Reindex complete..."));
  ShowStatus(notes.join(u' '));
}

bool TfrmVantrell::RunMaintenance(
    const QString& started,
    const std::function<void(const std::function<void()>&, const std::function<void(double)>&)>& work) {
  // The tables are closed on the way: a record being edited is saved first.
  if (!LeaveEdit(browse::LeaveEdit::Save)) return false;
  xbase::Table& t = dm_.ApTable1;
  const QString catalog = CurrentCatalog();
  const xbase::Bookmark at = t.Active() ? t.GetBookmark() : xbase::Bookmark{};
  const bool secondOpen = dm_.ApTable3.Active();

  // The text and the window painted before the pass starts.
  StatusPanel[0]->setText(started);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

  // The tables are closed and opened again on the way: the window hears of
  // them once they are back. The grid reads rows through a cursor of its
  // own on the same file: it is closed, and the grid not painted, while the
  // pass has the file to itself.
  t.DisableControls();
  dm_.ApTable2.DisableControls();
  RxDBGrid1->Model()->ReleaseCursor();
  RxDBGrid1->setUpdatesEnabled(false);
  HoldOpen holdOpen(this);
  auto* bar = new QProgressBar(statusBar());
  bar->setObjectName("MaintenanceProgress");
  bar->setRange(0, 100);
  bar->setMaximumWidth(160);
  bar->setTextVisible(false);
  statusBar()->insertWidget(1, bar);
  bar->show();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QElapsedTimer painted;
  painted.start();
  const auto progress = [&](double done) {
    if (painted.elapsed() < 100) return;
    bar->setValue(int(done * 100));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    painted.restart();
  };
  const bool done = RunCommand([&] { work([&] { SelectCatalog(catalog); }, progress); });
  QApplication::restoreOverrideCursor();
  delete bar;
  RxDBGrid1->setUpdatesEnabled(true);

  if (!done) {
    // The files are as they were: so are the catalog shown, its record and
    // the second cursor.
    RunCommand([&] {
      if (!t.Active()) t.Open();
      SelectCatalog(catalog);
      if (at.valid()) t.GotoBookmark(at);
      if (!secondOpen && dm_.ApTable3.Active()) dm_.ApTable3.Close();
    });
    StatusPanel[0]->setText(QStringLiteral(" "));
  }
  // The record's file is checked again, now that the packing flag is down.
  dm_.ApTable2.EnableControls();
  t.EnableControls();
  RxDBGrid1->Reset();
  return done;
}
