// What the batch form asks of the store: its passes over the records of the
// shown catalog (batchpass.h). Each pass runs as one batch of the table and
// then settles the shown catalog: the record counts follow what it did, the
// record added last (else the catalog's first) is current, and the
// catalog's views show it all at once. The implementation over the records
// table is TableBatch.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "batchpass.h"

namespace addfiles {

struct BatchOutcome {
  PassResult pass;
  // The message of an engine error that ended the pass ("" when none);
  // what was done until then is kept.
  QString error;
  // Why the volume of an add's folder was not remembered ("" when it was,
  // or for a move or delete); the records added stay all the same.
  QString volumeProblem;
};

class BatchService {
 public:
  virtual ~BatchService() = default;

  // One new record in `catalog` per named file of `folder` (AddFiles).
  virtual BatchOutcome AddFiles(const QString& catalog, const QString& folder, const QStringList& names,
                                const Progress& progress) = 0;
  // The records (by number) given the catalog `target` (MoveRecords).
  virtual BatchOutcome MoveRecords(const std::vector<uint32_t>& records, const QString& target,
                                   const Progress& progress) = 0;
  // The records (by number) deleted (DeleteRecords).
  virtual BatchOutcome DeleteRecords(const std::vector<uint32_t>& records, const Progress& progress) = 0;
};

}  // namespace addfiles
