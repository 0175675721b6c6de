// The database as the commands of vantrell-db use it: the files required
// before anything is opened, the program's tables over them, the reading
// commands' guard against a writer beside them, and catalog names given on
// the command line.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include <xbase.h>

#include "cli.h"
#include "datatables.h"
#include "folder.h"
#include "schema.h"
#include "textformat.h"

namespace store {
struct DiffResult;
struct DiffEntry;
}

namespace vdb {

// The index pages kept in memory by a command that walks the index once
// (export, search): each page is used once, so keeping them all would only
// grow the program's memory with the table.
inline constexpr size_t kOnePassIndexCache = 4u << 20;

// The columns of the records table by number, looked up once.
struct RecordColumns {
  explicit RecordColumns(const xbase::Table& t)
      : catalog(Field(t, store::kFieldCatalog)),
        title(Field(t, store::kFieldTitle)),
        path(Field(t, store::kFieldName)),
        size(Field(t, store::kFieldSize)),
        date(Field(t, store::kFieldDate)),
        description(Field(t, store::kFieldDesc)) {}
  static int Field(const xbase::Table& t, const char* name) {
    const int i = t.FieldIndex(name);
    if (i < 0) throw Problem("table " + t.Path() + " has no field " + name);
    return i;
  }
  // Every column but the description.
  vdb::RowView Row(const xbase::RecordRef& r) const {
    return {r.Text(catalog), r.Text(title), r.Text(path), r.Text(size), r.Text(date), {}};
  }
  int catalog, title, path, size, date, description;
};

// A missing folder or database file is reported before the engine sees
// anything.
void RequireDatabaseFiles(const std::string& dir);

// The program's tables over an existing database. An index file that
// cannot serve its table is recreated as the program does at start-up; the
// status text of each goes to standard error.
// `readOnly`: the tables are opened for reading only (the reading
// commands), so nothing is written and the program may go on writing
// beside them.
class Database {
 public:
  explicit Database(const std::string& dir, bool readOnly = false) : folder(dir) {
    // The files are there before anything is configured: this tool does not
    // create anything behind a reading command's back.
    RequireDatabaseFiles(dir);
    std::string error;
    try {
      Strings problems;
      for (const std::string& text : store::ConfigureDataTables(dm, dir, problems)) ErrLine(text);
      for (const std::string& p : problems) error += (error.empty() ? "" : "\n") + p;
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (!error.empty()) throw Problem(error);
    for (xbase::Table* t : {&dm.ApTable1, &dm.ApTable2, &dm.ApTable3}) t->SetReadOnly(readOnly);
  }

  // What the open tables passed over in their headers (a record count
  // higher than the records there are), each with the command that
  // repairs it.
  Strings HeaderProblems() const {
    Strings out;
    for (const xbase::Table* t : {&dm.ApTable1, &dm.ApTable3, &dm.ApTable2}) {
      std::string p = t->HeaderProblem();
      if (p.empty()) continue;
      p += " (run: vantrell-db repair " + Native(folder) + ")";
      if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(std::move(p));
    }
    return out;
  }

  // Closes every table, so that a failure to write out is reported here.
  void Close() {
    dm.ApTable3.Close();
    dm.ApTable1.Close();
    dm.ApTable2.Close();
  }

  const std::string folder;
  store::DataTables dm;
};

// The database files as a reading command found them, before its first
// read: what every change a writer makes leaves in them (the tables'
// change counters and record counts, the memo header, the index files'
// state pages). A reader beside the program may meet the files in the
// middle of a change: a record listed twice as an index page splits, an
// index page rewritten while it walks the tree. The same state after the
// last read means the reader saw one state of the database; another state
// means the read is done again, or, once output has gone out or after a
// few tries, that the reader says so and fails.
class FilesSeen {
 public:
  explicit FilesSeen(const std::string& dir) : dir_(dir) {}

  // Runs a reading command's body, which opens the tables it reads; they
  // are closed before each try. (The database is made ready, an index file
  // of the wrong tags rebuilt, before the first.)
  template <class Body>
  int Read(Database& db, Body&& body) {
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
      try {
        db.Close();
      } catch (const std::exception&) {
      }
      const std::string before = Look();
      held = HeldOutput{};
      held.holding = true;
      int status = kExitOk;
      bool failed = false;
      try {
        status = body();
      } catch (const xbase::Error&) {
        // An error met while the files changed is no sign of damage.
        if (Look() == before) {
          Release();
          throw;
        }
        failed = true;
      } catch (...) {
        Release();
        throw;
      }
      if (!failed && Look() == before) {
        Release();
        return status;
      }
      const bool wrote = held.written;
      held = HeldOutput{};  // what it read of a changing database is dropped
      if (!wrote && attempt < kAttempts) {
        // The program writes in short bursts (a post, a batch): a moment
        // later the files are most likely still.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
        continue;
      }
      throw Problem("the database in " + Native(dir_) +
                    " changed while it was being read (the program is writing to it)" +
                    (wrote ? "; the output above is not complete" : "") + "; try again");
    }
  }

 private:
  // Writes out what was held back and stops holding.
  static void Release() {
    held.holding = false;
    Write(held.text);
    Err(held.errors);
    held = HeldOutput{};
  }
  std::string Look() const {
    std::string v;
    for (const char* f : {store::kRecordsTable, store::kCatalogTable})
      v += xbase::TableFilesState(store::DataFilePathUtf8(dir_, f));
    return v;
  }
  std::string dir_;
};

// A catalog named on the command line, as the tables store it; a name that
// is empty or longer than any catalog's is a problem.
std::string CatalogArgument(const std::string& arg);

// A name that neither the catalog-names table nor any record knows is most
// likely a typing error; it is reported instead of answering "nothing".
void RequireKnownCatalog(Database& db, const std::string& name, int64_t records);

// What a compare with the disk passed over, on standard error: volumes not
// connected, folders not read, a volume gone meanwhile (then true: nothing
// of the compare can be told).
bool TellCompareNotes(const store::DiffResult& r);

// The folders a compare of `catalog` walks: the one given, or those its
// volumes remember (a problem when it remembers none).
Strings CompareFolders(const Args& a, size_t folderAt, const std::string& catalog, bool remembersAny);

// The closing note of an output that wrote tabs or line breaks of a column
// as spaces; `csvHint` names --csv, which keeps them.
std::string AlteredNote(int64_t count, bool csvHint);

}  // namespace vdb
