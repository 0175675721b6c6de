// The batch service over the cursor of the shown catalog, with the record
// counts the passes change.
#pragma once

#include <functional>

#include "batchservice.h"

class RecordCounts;
namespace store {
class CatalogVolumes;
}

namespace addfiles {

class TableBatch : public BatchService {
 public:
  // `records` shows the shown catalog; an add remembers the volume of its
  // folder in `volumes` (when given). All outlive the service.
  TableBatch(xbase::Table& records, RecordCounts& counts, store::CatalogVolumes* volumes = nullptr)
      : records_(records), counts_(counts), volumes_(volumes) {}

  BatchOutcome AddFiles(const QString& catalog, const QString& folder, const QStringList& names,
                        const Progress& progress) override;
  BatchOutcome MoveRecords(const std::vector<uint32_t>& records, const QString& target,
                           const Progress& progress) override;
  BatchOutcome DeleteRecords(const std::vector<uint32_t>& records, const Progress& progress) override;

 private:
  // Runs `pass` with the catalog's views held still, then settles the
  // catalog; `added` tells how the pass changes the records of all
  // catalogs: +1 (add), -1 (delete) or 0 (move) per record done.
  BatchOutcome Settled(int added, const std::function<PassResult()>& pass);

  xbase::Table& records_;
  RecordCounts& counts_;
  store::CatalogVolumes* volumes_;
};

}  // namespace addfiles
