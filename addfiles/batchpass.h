// The passes of the batch form over the records table: new records from
// files, and the selected records given another catalog or deleted. Each
// runs as one batch of the table (one sync at its end) and can be stopped
// between records: what was done until then is kept and counted.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include <xbase.h>

namespace addfiles {

// A file left out of an add, with the reason.
struct Skipped {
  QString name;
  QString why;
};

struct PassResult {
  int64_t done = 0;              // records added, moved or deleted
  std::vector<Skipped> skipped;  // add only
  bool stopped = false;          // the progress callback asked to stop
  uint32_t lastAdded = 0;        // add: the number of the record added last
  // Add: the files whose title ("new record ~~~~ " + the name) was longer
  // than the title field and was stored shortened to it.
  QStringList shortened;
};

// Told how far a pass is (done of total items); returns false to stop.
using Progress = std::function<bool(int64_t done, int64_t total)>;

// The files below `folder` that the mask lets through, as paths relative to
// it, folder by folder in name order, each found one handed to `found`
// (which returns false to stop). Hidden files and folders are left out, and
// links to folders are not followed (no loops). The walk stays on the file
// system of `folder` unless `otherFileSystems`, and never enters a pseudo
// file system of the running system (proc, sysfs, ...). A folder that
// cannot be read or is left out goes to `skipped` with the reason. Returns
// false when stopped.
bool ListTree(const QString& folder, const QString& mask, bool otherFileSystems,
              const std::function<bool(const QString& name)>& found,
              const std::function<void(const QString& folder, const QString& why)>& skipped);

// One new record in `catalog` per named file of `folder`, in list order:
// the title "new record ~~~~ " + the name, the path, the size and date
// texts of the file. A file no longer there, or whose path does not fit
// the path field, is left out and listed. A title longer than its field is
// stored shortened to it (whole characters) and the file listed.
PassResult AddFiles(xbase::Table& t, const QString& catalog, const QString& folder, const QStringList& names,
                    const Progress& progress);

// The records (by number) that `t` shows are given the catalog `target`.
PassResult MoveRecords(xbase::Table& t, const std::vector<uint32_t>& records, const QString& target,
                       const Progress& progress);

// The records (by number) that `t` shows are deleted.
PassResult DeleteRecords(xbase::Table& t, const std::vector<uint32_t>& records, const Progress& progress);

}  // namespace addfiles
