#include "peer.h"

#include <chrono>

#include <sqlite3.h>

#include <stdexcept>

#include "ours.h"

namespace bench {

namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  throw std::runtime_error("sqlite: " + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

// A connection closed when it goes out of scope.
class Db {
 public:
  explicit Db(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw std::runtime_error("sqlite: open " + path + ": " + msg);
    }
  }
  ~Db() { sqlite3_close(db_); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  sqlite3* get() const { return db_; }
  void exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(db_, sql);
  }

 private:
  sqlite3* db_ = nullptr;
};

// A prepared statement finalized when it goes out of scope.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK) Fail(db, sql);
  }
  ~Stmt() { sqlite3_finalize(st_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  sqlite3_stmt* get() const { return st_; }
  void bind(int i, std::string_view text) {
    if (sqlite3_bind_text(st_, i, text.data(), int(text.size()), SQLITE_STATIC) != SQLITE_OK)
      Fail(db_, "bind");
  }
  // True while a row is there.
  bool step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(db_, "step");
  }
  int64_t single() {
    if (!step()) Fail(db_, "no result row");
    return sqlite3_column_int64(st_, 0);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
};

}  // namespace

void PeerCreateAndInsert(const std::string& dbPath, const Rows& rows) {
  Db db(dbPath);
  db.exec(
      "CREATE TABLE t(catalog TEXT, title TEXT, name TEXT, size TEXT, date TEXT, descr TEXT);"
      "CREATE INDEX t_catalog_title ON t(catalog, upper(title));");
  db.exec("BEGIN");
  {
    Stmt ins(db.get(),
             "INSERT INTO t(catalog, title, name, size, date, descr) VALUES(?1,?2,?3,?4,?5,?6)");
    for (size_t i = 0; i < rows.size(); ++i) {
      for (int f = 0; f < kFieldCount; ++f) {
        std::string_view v = rows.field(i, Field(f));
        if (f == kDesc && v.empty())
          sqlite3_bind_null(ins.get(), f + 1);
        else
          ins.bind(f + 1, v);
      }
      ins.step();
      sqlite3_reset(ins.get());
    }
  }
  db.exec("COMMIT");
}

int64_t PeerSelectCatalog(const std::string& dbPath, std::string_view catalog, int readRows) {
  Db db(dbPath);
  Stmt count(db.get(), "SELECT count(*) FROM t WHERE catalog = ?1");
  count.bind(1, catalog);
  int64_t n = count.single();
  Stmt sel(db.get(),
           "SELECT catalog, title, name, size, date, descr FROM t WHERE catalog = ?1 "
           "ORDER BY catalog, upper(title) LIMIT ?2");
  sel.bind(1, catalog);
  sqlite3_bind_int(sel.get(), 2, readRows);
  while (sel.step()) {
    for (int c = 0; c < kFieldCount; ++c) {
      const unsigned char* text = sqlite3_column_text(sel.get(), c);
      if (text) Consume(std::string_view(reinterpret_cast<const char*>(text)));
    }
  }
  return n;
}

int64_t PeerCountLike(const std::string& dbPath, std::string_view word) {
  Db db(dbPath);
  std::string pattern = "%" + std::string(word) + "%";
  Stmt count(db.get(), "SELECT count(*) FROM t WHERE name LIKE ?1");
  count.bind(1, pattern);
  return count.single();
}

int64_t PeerDeleteEveryTenth(const std::string& dbPath, const char* table) {
  Db db(dbPath);
  db.exec("BEGIN");
  db.exec(("DELETE FROM " + std::string(table) + " WHERE rowid % 10 = 0").c_str());
  int64_t n = sqlite3_changes(db.get());
  db.exec("COMMIT");
  return n;
}

void PeerSetCatalog(const std::string& dbPath, std::string_view catalog, int every) {
  Db db(dbPath);
  Stmt set(db.get(), "UPDATE t SET catalog = ?1 WHERE (rowid - 1) % ?2 = 0");
  set.bind(1, catalog);
  sqlite3_bind_int(set.get(), 2, every);
  set.step();
}

double PeerBatch(const std::string& dbPath, const std::vector<int64_t>& rowids, std::string_view catalog) {
  Db db(dbPath);
  const auto start = std::chrono::steady_clock::now();
  db.exec("BEGIN");
  {
    Stmt each(db.get(), catalog.empty() ? "DELETE FROM t WHERE rowid = ?1" : "UPDATE t SET catalog = ?2 WHERE rowid = ?1");
    if (!catalog.empty()) each.bind(2, catalog);
    for (const int64_t id : rowids) {
      sqlite3_bind_int64(each.get(), 1, id);
      each.step();
      sqlite3_reset(each.get());
    }
  }
  db.exec("COMMIT");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PeerVacuum(const std::string& dbPath) {
  Db db(dbPath);
  db.exec("VACUUM");
}

void PeerReindex(const std::string& dbPath) {
  Db db(dbPath);
  db.exec("REINDEX");
}

int64_t PeerCount(const std::string& dbPath) {
  Db db(dbPath);
  Stmt count(db.get(), "SELECT count(*) FROM t");
  return count.single();
}

PeerEditor::PeerEditor(const std::string& dbPath) {
  if (sqlite3_open_v2(dbPath.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw std::runtime_error("sqlite: open " + dbPath + ": " + msg);
  }
  // Each UPDATE commits on its own and is on disk when it returns, as a
  // posted record is.
  if (sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_close(db_);
    throw std::runtime_error("sqlite: synchronous=FULL: " + msg);
  }
  if (sqlite3_prepare_v2(db_, "UPDATE t SET title = ?1 WHERE rowid = ?2", -1, &update_, nullptr) !=
      SQLITE_OK) {
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_close(db_);
    throw std::runtime_error("sqlite: prepare update: " + msg);
  }
}

PeerEditor::~PeerEditor() {
  sqlite3_finalize(update_);
  sqlite3_close(db_);
}

void PeerEditor::EditTitle(int64_t rowid, std::string_view title) {
  sqlite3_bind_text(update_, 1, title.data(), int(title.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(update_, 2, rowid);
  int rc = sqlite3_step(update_);
  sqlite3_reset(update_);
  if (rc != SQLITE_DONE) Fail(db_, "update");
  if (sqlite3_changes(db_) != 1) throw std::runtime_error("sqlite: update changed no row");
}

}  // namespace bench
