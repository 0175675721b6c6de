// The disk service over the catalogue's tables: the volume table of the
// data module and a cursor of its own over the records for the compare and
// the refresh, which run on a worker thread.
//
// The engine is used by one thread at a time. While the worker runs, the
// window's thread serves events but must not reach the tables: the main
// window's record views are held (the grid's cursor closed and the grid not
// painted) until the worker has ended, and the windows that would read the
// tables are behind the modal window that asked.
#pragma once

#include <functional>

#include "diskservice.h"

class TDataModule1;

namespace disks {

class TableDisks : public DiskService {
 public:
  struct Hooks {
    // Why the catalogue cannot be changed ("" when it can).
    std::function<QString()> readOnly;
    // The main window's record views held still (true) while the worker
    // has the tables, and let go (false) afterwards.
    std::function<void(bool held)> holdViews;
    // The records changed under the main window's views: they show them
    // afresh.
    std::function<void()> recordsChanged;
  };

  // `dm` outlives the service.
  TableDisks(TDataModule1& dm, Hooks hooks) : dm_(dm), hooks_(std::move(hooks)) {}

  bool Volumes(const QString& catalog, std::vector<store::VolumeRow>* rows, QString* error) override;
  std::vector<std::string> MountPointsOf(const std::string& id) override;
  QString SetNote(uint32_t recno, const QString& note) override;
  QString ReadOnly() const override { return hooks_.readOnly ? hooks_.readOnly() : QString(); }
  CompareOutcome Compare(const QString& catalog, RunState& state) override;
  ApplyOutcome Apply(const QString& catalog, const std::vector<store::DiffEntry>& chosen,
                     const store::RefreshTexts& texts, RunState& state) override;

 private:
  // Runs `work` on a worker with the tables handed over to it; returns
  // once it has ended, the window's events served meanwhile.
  void OnWorker(const std::function<void()>& work);

  TDataModule1& dm_;
  Hooks hooks_;
};

}  // namespace disks
