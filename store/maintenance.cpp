#include "maintenance.h"

#include <QFileInfo>

#include "datafiles.h"
#include "datamodule.h"
#include "indexfiles.h"

namespace store {

namespace {

qint64 FileSize(const QString& path) {
  const QFileInfo info(path);
  return info.exists() ? info.size() : -1;
}

// close; (closed: before); exclusive; open; work; close; shared; open.
// When something fails on the way the table is still put back to shared use
// (best effort), so the program can go on with it, and the error is passed
// on.
template <class Work>
void WithExclusiveUse(xbase::Table& t, Work&& work, const std::function<void()>& closed = {}) {
  t.Close();
  t.SetExclusive(true);
  try {
    if (closed) closed();
    t.Open();
    work();
    t.Close();
  } catch (...) {
    try {
      t.Close();
    } catch (...) {
    }
    t.SetExclusive(false);
    try {
      t.Open();
    } catch (...) {
    }
    throw;
  }
  t.SetExclusive(false);
  t.Open();
}

// Runs `work` with ApTable3 closed and opens it again afterwards, also when
// the work fails: reports and the search use it, and after a failed pack or
// reindex the files are the ones they were. The work's error is passed on;
// an error of the re-open after it is dropped (the first one tells what
// went wrong).
template <class Work>
void WithoutSecondCursor(TDataModule1& dm, Work&& work) {
  dm.ApTable3.Close();
  try {
    work();
  } catch (...) {
    try {
      dm.ApTable3.Open();
    } catch (...) {
    }
    throw;
  }
  dm.ApTable3.Open();
}

QString TablePath(const xbase::Table& t) { return FromEnginePath(t.Path()); }

QString IndexPath(const xbase::Table& t, const char* indexFile) {
  return DataFilePath(FromEnginePath(t.DatabaseName()), indexFile);
}

}  // namespace

qint64 PackRecords(TDataModule1& dm, const std::function<void()>& showCatalog) {
  const QString path = TablePath(dm.ApTable1);
  const qint64 before = FileSize(path);
  struct ClearFlag {
    bool& flag;
    ~ClearFlag() { flag = false; }
  } clear{dm.Packing};
  WithoutSecondCursor(dm, [&] {
    dm.Packing = true;
    WithExclusiveUse(dm.ApTable1, [&] { dm.ApTable1.Pack(); });
  });
  if (showCatalog) showCatalog();
  dm.Packing = false;
  return before - FileSize(path);
}

QStringList ReindexTables(TDataModule1& dm, const std::function<void()>& showCatalog) {
  QStringList notes;
  // An index file that cannot serve its table is recreated from the store's
  // tags while the table is closed; the reindex then works on a sound file.
  auto repair = [&](const char* table) {
    return [&dm, &notes, table] {
      const QString text = RepairIndexFile(FromEnginePath(dm.ApTable1.DatabaseName()), table, dm.ApolloEnv1);
      if (!text.isEmpty()) notes << text;
    };
  };
  WithoutSecondCursor(dm, [&] {
    WithExclusiveUse(
        dm.ApTable1,
        [&] {
          dm.ApTable1.IndexOpen(EnginePath(IndexPath(dm.ApTable1, kRecordsIndex)));
          dm.ApTable1.Reindex();
        },
        repair(kRecordsTable));
    WithExclusiveUse(
        dm.ApTable2,
        [&] {
          dm.ApTable2.IndexOpen(EnginePath(IndexPath(dm.ApTable2, kCatalogIndex)));
          dm.ApTable2.Reindex();
        },
        repair(kCatalogTable));
  });
  if (showCatalog) showCatalog();
  return notes;
}

}  // namespace store
