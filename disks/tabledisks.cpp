#include "tabledisks.h"

#include <QEventLoop>
#include <QThread>

#include <memory>

#include "datafiles.h"
#include "datamodule.h"
#include "schema.h"
#include "setup.h"

namespace disks {

namespace {

// A cursor over the records file like the data module's second one, on the
// same environment (so it shares the open file and its writer's lock).
void ConfigureRecords(xbase::Table& records, const xbase::Table& like, bool readOnly) {
  records.SetDatabaseName(like.DatabaseName());
  records.SetTableName(store::kRecordsTable);
  records.SetIndexTag(store::kRecordsTag);
  records.SetRequiredFields(store::RecordsTableFields());
  records.SetMissingIndexTags(store::StoreTagsOf(store::kRecordsTable));
  records.SetReadOnly(readOnly);
}

}  // namespace

bool TableDisks::Volumes(const QString& catalog, std::vector<store::VolumeRow>* rows, QString* error) {
  try {
    *rows = *dm_.Volumes.Rows(catalog);
    return true;
  } catch (const std::exception& e) {
    *error = "The volumes of the catalog cannot be read: " + store::FromUtf8(e.what());
    return false;
  }
}

std::vector<std::string> TableDisks::MountPointsOf(const std::string& id) { return dm_.Volumes.MountPointsOf()(id); }

QString TableDisks::SetNote(uint32_t recno, const QString& note) {
  if (const QString why = ReadOnly(); !why.isEmpty()) return why;
  try {
    dm_.Volumes.SetNote(recno, note);
    return {};
  } catch (const std::exception& e) {
    return store::FromUtf8(e.what());
  }
}

void TableDisks::OnWorker(const std::function<void()>& work) {
  if (hooks_.holdViews) hooks_.holdViews(true);
  QEventLoop loop;
  std::unique_ptr<QThread> worker(QThread::create(work));
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  worker->start();
  loop.exec();
  worker->wait();
  if (hooks_.holdViews) hooks_.holdViews(false);
}

CompareOutcome TableDisks::Compare(const QString& catalog, RunState& state) {
  CompareOutcome out;
  store::VolumeTable* volumes = &dm_.Volumes.Table();
  store::DiffOptions options;
  options.mountPointsOf = dm_.Volumes.MountPointsOf();
  options.progress = [&state](uint64_t seen) {
    state.done = seen;
    return !state.stop;
  };
  options.found = [&state](const store::DiffEntry& e) {
    std::lock_guard<std::mutex> hold(state.foundLock);
    state.found.push_back(e);
  };
  {
    std::lock_guard<std::mutex> hold(state.foundLock);
    state.found.clear();
  }
  const std::string name = store::ToUtf8(catalog);
  const bool readOnly = !ReadOnly().isEmpty();
  OnWorker([&] {
    try {
      xbase::Table records(dm_.ApolloEnv1);
      ConfigureRecords(records, dm_.ApTable1, readOnly);
      records.Open();
      out.diff = store::CompareCatalog(records, *volumes, name, options);
      records.Close();
    } catch (const std::exception& e) {
      out.error = store::FromUtf8(e.what());
    }
  });
  return out;
}

ApplyOutcome TableDisks::Apply(const QString& catalog, const std::vector<store::DiffEntry>& chosen,
                               const store::RefreshTexts& texts, RunState& state) {
  ApplyOutcome out;
  if (const QString why = ReadOnly(); !why.isEmpty()) {
    out.error = why;
    return out;
  }
  store::VolumeTable* volumes = &dm_.Volumes.Table(true);
  const std::string name = store::ToUtf8(catalog);
  xbase::Table& shown = dm_.ApTable1;
  const xbase::Bookmark at = shown.Active() ? shown.GetBookmark() : xbase::Bookmark{};
  // The shown records hear of the refresh once, when it is over.
  shown.DisableControls();
  OnWorker([&] {
    try {
      xbase::Table records(dm_.ApolloEnv1);
      ConfigureRecords(records, dm_.ApTable1, false);
      records.Open();
      out.refresh = store::ApplyRefresh(records, *volumes, name, chosen, texts, [&state](uint64_t done, uint64_t total) {
        state.done = done;
        state.total = total;
        return !state.stop;
      });
      records.Close();
    } catch (const std::exception& e) {
      out.error = store::FromUtf8(e.what());
    }
  });
  dm_.Volumes.Changed();
  try {
    // The counts follow what was added and deleted; the record that was
    // current stays so when it is still there.
    if (shown.Active()) {
      shown.Refresh();
      dm_.Counts.SetCatalog((int)shown.RecordCount());
      dm_.Counts.SetTotal(dm_.Counts.Total() + (int)out.refresh.added - (int)out.refresh.deleted);
      if (!at.valid() || !shown.GotoBookmark(at)) shown.First();
    }
  } catch (const std::exception& e) {
    if (out.error.isEmpty()) out.error = store::FromUtf8(e.what());
  }
  shown.EnableControls();
  if (hooks_.recordsChanged) hooks_.recordsChanged();
  return out;
}

}  // namespace disks
