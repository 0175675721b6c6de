// What the Volumes and Compare with Disk windows ask of the catalogue: the
// volumes a catalog's files came from, their notes, and the compare of a
// catalog with its disks and the refresh of its records. The compare and
// the refresh run on a worker thread; the calls return when it is done,
// the window's own events served meanwhile. The implementation over the
// tables is TableDisks.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "catalogdiff.h"
#include "volumetable.h"

namespace disks {

// How far a run on the worker is, read by the window while it runs; the
// window sets `stop` to end it early.
struct RunState {
  std::atomic<uint64_t> done{0}, total{0};
  std::atomic<bool> stop{false};
  // A compare's entries met so far and not yet taken by the window.
  std::mutex foundLock;
  std::vector<store::DiffEntry> found;
  std::vector<store::DiffEntry> TakeFound() {
    std::vector<store::DiffEntry> taken;
    std::lock_guard<std::mutex> hold(foundLock);
    taken.swap(found);
    return taken;
  }
};

struct CompareOutcome {
  store::DiffResult diff;
  QString error;  // an engine error that ended it ("" when none)
};

struct ApplyOutcome {
  store::RefreshResult refresh;
  QString error;  // an engine error that ended it ("" when none)
};

class DiskService {
 public:
  virtual ~DiskService() = default;

  // The volume rows of `catalog`; false with the reason in *error when the
  // table cannot be read.
  virtual bool Volumes(const QString& catalog, std::vector<store::VolumeRow>* rows, QString* error) = 0;
  // Where the volume `id` is mounted now; empty when it is not.
  virtual std::vector<std::string> MountPointsOf(const std::string& id) = 0;
  // Stores the note of a volume row; the reason when it could not be ("").
  virtual QString SetNote(uint32_t recno, const QString& note) = 0;
  // Why the catalogue cannot be changed, for a hint ("" when it can).
  virtual QString ReadOnly() const = 0;

  // Compares the records of `catalog` with the files of its volumes.
  // `state.done` counts the files looked at.
  virtual CompareOutcome Compare(const QString& catalog, RunState& state) = 0;
  // Applies the chosen entries to the records of `catalog`, the size and
  // date texts made by `texts`; the main window shows its records afresh
  // afterwards, the record counts kept true. `state` counts entries.
  virtual ApplyOutcome Apply(const QString& catalog, const std::vector<store::DiffEntry>& chosen,
                             const store::RefreshTexts& texts, RunState& state) = 0;
};

}  // namespace disks
