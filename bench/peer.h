// The same operations on SQLite, the peer the figures are compared with:
// the same rows, the same index, default settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "datagen.h"

struct sqlite3;
struct sqlite3_stmt;

namespace bench {

// Creates the table and the index, then inserts every row in one
// transaction through one prepared statement.
void PeerCreateAndInsert(const std::string& dbPath, const Rows& rows);

// Counts the catalog's rows and reads the first `readRows` in index order.
int64_t PeerSelectCatalog(const std::string& dbPath, std::string_view catalog, int readRows);

// Counts the paths holding the word (LIKE, ASCII case ignored).
int64_t PeerCountLike(const std::string& dbPath, std::string_view word);

// Deletes every tenth row of the table, in one transaction. Returns how many.
int64_t PeerDeleteEveryTenth(const std::string& dbPath, const char* table = "t");

// Gives every `every`-th row (the first, then every `every`-th after it) the catalog.
void PeerSetCatalog(const std::string& dbPath, std::string_view catalog, int every);

// The rows by rowid given the catalog (empty: deleted), one statement per
// row in one transaction, as a program acting on a selection would. Returns
// the seconds from the opened database to the commit.
double PeerBatch(const std::string& dbPath, const std::vector<int64_t>& rowids, std::string_view catalog);

void PeerVacuum(const std::string& dbPath);
void PeerReindex(const std::string& dbPath);
int64_t PeerCount(const std::string& dbPath);

// An open connection for single-row updates in autocommit mode, each one
// synced (synchronous=FULL).
class PeerEditor {
 public:
  explicit PeerEditor(const std::string& dbPath);
  ~PeerEditor();
  PeerEditor(const PeerEditor&) = delete;
  PeerEditor& operator=(const PeerEditor&) = delete;
  void EditTitle(int64_t rowid, std::string_view title);

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
};

}  // namespace bench
