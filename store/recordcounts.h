// The two record counts of the catalogue: the records of the catalog the
// records cursor shows and those of all catalogs. The data module keeps
// them; the store-side code that shows a catalog, adds or removes records
// sets them, and whatever shows them listens to the changes.
#pragma once

#include <QObject>

class RecordCounts : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  int Catalog() const { return catalog_; }
  int Total() const { return total_; }
  void SetCatalog(int count) {
    if (count == catalog_) return;
    catalog_ = count;
    emit CatalogChanged(count);
  }
  void SetTotal(int count) {
    if (count == total_) return;
    total_ = count;
    emit TotalChanged(count);
  }
  // `n` records stored in the shown catalog (negative: removed from it).
  void AddToCatalog(int n) {
    SetCatalog(catalog_ + n);
    SetTotal(total_ + n);
  }

 signals:
  void CatalogChanged(int count);
  void TotalChanged(int count);

 private:
  int catalog_ = 0, total_ = 0;
};
