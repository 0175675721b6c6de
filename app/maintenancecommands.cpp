#include "maintenancecommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include "backup.h"
#include "commandguard.h"
#include "datafiles.h"
#include "catalogtabs.h"
#include "datamodule.h"
#include "maincontext.h"
#include "maintenance.h"
#include "recordcommands.h"

namespace {

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

TDatabaseMaintenance::TDatabaseMaintenance(MainContext& context, MaintenanceView& view, TCatalogTabs& tabs,
                                           TRecordCommands& records)
    : context_(context), view_(view), tabs_(tabs), records_(records) {}

void TDatabaseMaintenance::mnuBackupClick() {
  context_.status.SetStatusText(QStringLiteral("Backup started..."));
  view_.Repaint();
  const std::string data = store::EnginePath(context_.dataFolder);
  const std::string backupDir = store::BackupFolderUtf8(data);
  store::BackupResult result;
  view_.SetBusy(true);
  const bool ran = context_.Run([&] { result = store::BackupDatabaseOf(context_.dm, data, backupDir); });
  view_.SetBusy(false);
  if (!ran || !result.Complete()) {
    if (ran) context_.Tell(prompts::Kind::Error, BackupFailure(result, store::FromUtf8(backupDir)));
    context_.status.SetStatusText(QStringLiteral(" "));
    return;
  }
  context_.status.ShowStatus(QStringLiteral("Backup complete..."));
}

void TDatabaseMaintenance::mnuPackClick() {
  qint64 saved = 0;
  if (!RunMaintenance(QStringLiteral("Database pack started..."),
                      [&](const std::function<void()>& show, const std::function<void(double)>& progress) {
                        saved = store::PackRecords(context_.dm, show, progress);
                      }))
    return;
  // The pack numbered the records anew: rows chosen before it would now
  // name other records.
  view_.RecordsRenumbered();
  context_.status.ShowStatus("Database pack complete...  (" + QString::number(saved) + " bytes smaller.)");
}

void TDatabaseMaintenance::mnuReindexClick() {
  QStringList notes;
  if (!RunMaintenance(QStringLiteral("Reindex started..."),
                      [&](const std::function<void()>& show, const std::function<void(double)>& progress) {
                        notes = store::ReindexTables(context_.dm, show, progress);
                      }))
    return;
  // Index files that had to be made anew are named after the text.
  notes.prepend(QStringLiteral("Reindex complete..."));
  context_.status.ShowStatus(notes.join(u' '));
}

bool TDatabaseMaintenance::RunMaintenance(
    const QString& started,
    const std::function<void(const std::function<void()>&, const std::function<void(double)>&)>& work) {
  // The tables are closed on the way: a record being edited is saved first.
  if (!records_.LeaveEdit(browse::LeaveEdit::Save)) return false;
  TDataModule1& dm = context_.dm;
  xbase::Table& t = dm.ApTable1;
  const QString catalog = tabs_.CurrentCatalog();
  const xbase::Bookmark at = t.Active() ? t.GetBookmark() : xbase::Bookmark{};
  const bool secondOpen = dm.ApTable3.Active();

  // The text and the window painted before the pass starts.
  context_.status.SetStatusText(started);
  view_.Repaint();

  // The tables are closed and opened again on the way: the window hears of
  // them once they are back. The grid reads rows through a cursor of its
  // own on the same file: it is closed, and the grid not painted, while the
  // pass has the file to itself.
  t.DisableControls();
  dm.ApTable2.DisableControls();
  view_.BeginPass();
  QElapsedTimer painted;
  painted.start();
  const auto progress = [&](double done) {
    if (painted.elapsed() < 100) return;
    view_.ShowProgress(done);
    painted.restart();
  };
  const bool done = context_.Run([&] { work([&] { tabs_.SelectCatalog(catalog); }, progress); });
  view_.EndPass();

  if (!done) {
    // The files are as they were: so are the catalog shown, its record and
    // the second cursor.
    context_.Run([&] {
      if (!t.Active()) t.Open();
      tabs_.SelectCatalog(catalog);
      if (at.valid()) t.GotoBookmark(at);
      if (!secondOpen && dm.ApTable3.Active()) dm.ApTable3.Close();
    });
    context_.status.SetStatusText(QStringLiteral(" "));
  }
  // The record's file is checked again, now that the packing flag is down.
  dm.ApTable2.EnableControls();
  t.EnableControls();
  view_.ResetRecords();
  return done;
}
