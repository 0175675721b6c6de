#include "tablebatch.h"

#include "catalogvolumes.h"
#include "recordcounts.h"

namespace addfiles {

BatchOutcome TableBatch::Settled(int added, const std::function<PassResult()>& pass) {
  xbase::Table& t = records_;
  t.DisableControls();
  struct Resume {
    xbase::Table& t;
    ~Resume() { t.EnableControls(); }
  } resume{t};
  BatchOutcome out;
  try {
    out.pass = pass();
  } catch (const xbase::Error& e) {
    out.error = QString::fromUtf8(e.what());
  }
  // The counts from what the pass did: the shown catalog as the table
  // counts it, the whole database by the records added or deleted.
  counts_.SetCatalog((int)t.RecordCount());
  counts_.SetTotal(counts_.Total() + added * (int)out.pass.done);
  // After an add the record added last is current, else the catalog's first.
  if (added <= 0 || out.pass.lastAdded == 0 || !t.GotoBookmark(xbase::Bookmark{out.pass.lastAdded})) t.First();
  return out;
}

BatchOutcome TableBatch::AddFiles(const QString& catalog, const QString& folder, const QStringList& names,
                                  const Progress& progress) {
  BatchOutcome out = Settled(1, [&] { return addfiles::AddFiles(records_, catalog, folder, names, progress); });
  // The catalog knows the disk its new records came from, so that they are
  // found when it is mounted elsewhere and told apart when it is not there.
  if (volumes_ && out.pass.done > 0) out.volumeProblem = volumes_->Remember(catalog, folder);
  return out;
}

BatchOutcome TableBatch::MoveRecords(const std::vector<uint32_t>& records, const QString& target,
                                     const Progress& progress) {
  return Settled(0, [&] { return addfiles::MoveRecords(records_, records, target, progress); });
}

BatchOutcome TableBatch::DeleteRecords(const std::vector<uint32_t>& records, const Progress& progress) {
  return Settled(-1, [&] { return addfiles::DeleteRecords(records_, records, progress); });
}

}  // namespace addfiles
