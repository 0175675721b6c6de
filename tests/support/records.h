// Records put into the catalogue's tables for a test, as the program stores
// them: each record in the records table, its catalog once in the catalog
// table. Free of Qt, for the store core's tests too.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace xbase {
class Table;
}
namespace store {
struct DataTables;
}

namespace testsupport {

// A record's fields; one left empty stays blank.
struct Record {
  std::string catalog, title, path, size, date, desc;
  bool deleted = false;  // left marked deleted
};

// Appends `records` to the open records table `recordsTable`, and the
// catalog of each, unless it is there already, to the open `catalogs`.
void AppendRecords(xbase::Table& recordsTable, xbase::Table& catalogs, const std::vector<Record>& records);

// Adds records given as (catalog, title), each cataloguing the file
// "/media/disk/<title>", through the records and catalog cursors of
// `tables`, opened shared as the program opens them.
void AddTitledRecords(store::DataTables& tables, const std::vector<std::pair<std::string, std::string>>& records);

}  // namespace testsupport
