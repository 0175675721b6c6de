// The two record counts the main window shows: the records of the shown
// catalog and those of all catalogs. The window's commands keep them here;
// the labels only show them (the model tells each change).
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

 signals:
  void CatalogChanged(int count);
  void TotalChanged(int count);

 private:
  int catalog_ = 0, total_ = 0;
};
