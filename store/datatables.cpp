#include "datatables.h"

#include "folder.h"
#include "schema.h"
#include "setup.h"

namespace store {

DataTables::DataTables() : ApTable2(ApolloEnv1), ApTable1(ApolloEnv1), ApTable3(ApolloEnv1) {
  ApolloEnv1.SetDeleted(true);
}

DataTables::~DataTables() { CloseAll(); }

void DataTables::CloseAll() noexcept {
  // Closing posts a changed record.
  for (xbase::Table* t : {&ApTable3, &ApTable1, &ApTable2}) {
    try {
      t->Close();
    } catch (const std::exception&) {
    }
  }
}

std::vector<std::string> ConfigureDataTables(DataTables& db, const std::string& dataDir,
                                             std::vector<std::string>& problems) {
  struct {
    xbase::Table* table;
    const char* file;
    const char* tag;
    std::vector<xbase::FieldDef> fields;
  } const setup[] = {{&db.ApTable1, kRecordsTable, kRecordsTag, RecordsTableFields()},
                     {&db.ApTable2, kCatalogTable, kCatalogTag, CatalogTableFields()},
                     {&db.ApTable3, kRecordsTable, kRecordsTag, RecordsTableFields()}};
  for (const auto& s : setup) {
    s.table->SetDatabaseName(dataDir);
    s.table->SetTableName(s.file);
    s.table->SetIndexTag(s.tag);
    // A table with the right name but other fields (another program's)
    // is refused at open, before anything is written to it.
    s.table->SetRequiredFields(s.fields);
    // A catalogue on a read-only medium may lack an index file: the table
    // is then read through a private one.
    s.table->SetMissingIndexTags(StoreTagsOf(s.file));
  }
  db.ApolloEnv1.SetErrorLevel(0);
  return RepairIndexFilesUtf8(dataDir, db.ApolloEnv1, problems);
}

namespace {

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
void WithoutSecondCursor(DataTables& db, Work&& work) {
  db.ApTable3.Close();
  try {
    work();
  } catch (...) {
    try {
      db.ApTable3.Open();
    } catch (...) {
    }
    throw;
  }
  db.ApTable3.Open();
}

// The engine tells `progress` of its passes, scaled into [from, from +
// span], while the scope lasts.
class ProgressScope {
 public:
  ProgressScope(xbase::Environment& env, const MaintenanceProgress& progress) : env_(env), progress_(progress) {}
  ~ProgressScope() { env_.SetProgress({}); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  void Span(double from, double span) {
    if (!progress_) return;
    env_.SetProgress([p = progress_, from, span](double done) { p(from + span * done); });
  }

 private:
  xbase::Environment& env_;
  MaintenanceProgress progress_;
};

}  // namespace

int64_t PackRecordsOf(DataTables& db, const std::function<void()>& showCatalog, const MaintenanceProgress& progress) {
  const std::string path = db.ApTable1.Path();
  const int64_t before = FileSize(path);
  ProgressScope told(db.ApolloEnv1, progress);
  // The pass over the records; the new index is built after it.
  told.Span(0, 0.85);
  struct ClearFlag {
    bool& flag;
    ~ClearFlag() { flag = false; }
  } clear{db.Packing};
  WithoutSecondCursor(db, [&] {
    db.Packing = true;
    WithExclusiveUse(db.ApTable1, [&] { db.ApTable1.Pack(); });
  });
  if (showCatalog) showCatalog();
  db.Packing = false;
  if (progress) progress(1);
  return before - FileSize(path);
}

std::vector<std::string> ReindexTablesOf(DataTables& db, const std::function<void()>& showCatalog,
                                         const MaintenanceProgress& progress) {
  std::vector<std::string> notes;
  ProgressScope told(db.ApolloEnv1, progress);
  // An index file that cannot serve its table is recreated from the store's
  // tags while the table is closed; the reindex then works on a sound file.
  auto repair = [&](const char* table) {
    return [&db, &notes, table] {
      std::string text = RepairIndexFileUtf8(db.ApTable1.DatabaseName(), table, db.ApolloEnv1);
      if (!text.empty()) notes.push_back(std::move(text));
    };
  };
  auto reindex = [](xbase::Table& t, const char* indexFile) {
    t.IndexOpen(DataFilePathUtf8(t.DatabaseName(), indexFile));
    t.Reindex();
  };
  WithoutSecondCursor(db, [&] {
    // Both tables are held, and every file of both known to take the
    // writes, before either index is rebuilt: a file that refuses leaves
    // both as they were.
    WithExclusiveUse(
        db.ApTable1,
        [&] {
          WithExclusiveUse(
              db.ApTable2,
              [&] {
                db.ApTable1.RequireWritable();
                db.ApTable2.RequireWritable();
                // The records are nearly all of the work: their pass, then
                // their index's build.
                told.Span(0, 0.8);
                reindex(db.ApTable1, kRecordsIndex);
                told.Span(0.95, 0.05);
                reindex(db.ApTable2, kCatalogIndex);
              },
              repair(kCatalogTable));
        },
        repair(kRecordsTable));
  });
  if (showCatalog) showCatalog();
  if (progress) progress(1);
  return notes;
}

}  // namespace store
