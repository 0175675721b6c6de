// The operations the benchmarks time on our engine. Each function does
// exactly the work of one timed run: opening, the work, closing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datagen.h"

namespace xbase {
class Environment;
class Table;
}  // namespace xbase

namespace bench {

// Where a table lives: its folder and its file name.
struct Location {
  std::string folder;
  std::string file = "VTLDataA.dbf";
  std::string dbf() const { return folder + "/" + file; }
};

inline constexpr const char* kTagName = "CatFlTl";
inline constexpr const char* kTagKey = "Catalog+upper(FLTitle)";
inline constexpr const char* kTagCondition = ".not. DELETED()";

// The query the main window sets for a catalog.
std::string CatalogQuery(std::string_view catalog);

// Creates the table and its tag, then appends every row in one batch.
void OursCreateAndAppend(const Location& at, const Rows& rows);

// Opens a fresh cursor on the tag, restricts it to the catalog, counts the
// records and reads up to `readRows` of them, every field. Returns the count.
int64_t OursSelectCatalog(const Location& at, std::string_view catalog, int readRows);

// A fresh open and a containing-search in the paths. Returns the hits.
size_t OursFindInNames(const Location& at, std::string_view word);

// A fresh open on the tag and a read of the first record.
void OursOpenFirst(const Location& at);

// Marks every tenth record (in natural order) deleted. Returns how many.
size_t OursDeleteEveryTenth(const Location& at);

// Exclusive open and pack / reindex.
void OursPack(const Location& at);
void OursReindex(const Location& at);

// Visible records in natural order.
int64_t OursCount(const Location& at);

// Walks the catalog reading every field (the memory measure). Returns the
// rows walked.
int64_t OursWalkCatalog(const Location& at, std::string_view catalog);

// An open cursor on the tag for single edits, one user command each.
class OursEditor {
 public:
  explicit OursEditor(const Location& at);
  ~OursEditor();
  // Goes to the record, edits its title and posts it.
  void EditTitle(uint32_t recno, std::string_view title);

 private:
  std::unique_ptr<xbase::Environment> env_;
  std::unique_ptr<xbase::Table> table_;
};

// Keeps the optimiser from dropping reads whose results are unused.
void Consume(std::string_view s);
uint64_t ConsumedBytes();

}  // namespace bench
