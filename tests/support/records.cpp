#include "records.h"

#include <xbase.h>

#include "datatables.h"
#include "schema.h"

namespace testsupport {

void AppendRecords(xbase::Table& recordsTable, xbase::Table& catalogs, const std::vector<Record>& records) {
  for (const Record& r : records) {
    recordsTable.Append();
    recordsTable.SetFieldByName(store::kFieldCatalog, r.catalog);
    recordsTable.SetFieldByName(store::kFieldTitle, r.title);
    recordsTable.SetFieldByName(store::kFieldName, r.path);
    if (!r.size.empty()) recordsTable.SetFieldByName(store::kFieldSize, r.size);
    if (!r.date.empty()) recordsTable.SetFieldByName(store::kFieldDate, r.date);
    if (!r.desc.empty()) recordsTable.SetFieldByName(store::kFieldDesc, r.desc);
    recordsTable.Post();
    if (r.deleted) recordsTable.Delete();
    if (!catalogs.Locate(store::kFieldCatalog, r.catalog)) {
      catalogs.Append();
      catalogs.SetFieldByName(store::kFieldCatalog, r.catalog);
      catalogs.Post();
    }
  }
}

void AddTitledRecords(store::DataTables& tables, const std::vector<std::pair<std::string, std::string>>& records) {
  tables.ApTable1.Open();
  tables.ApTable2.Open();
  std::vector<Record> rows;
  for (const auto& [catalog, title] : records) rows.push_back({catalog, title, "/media/disk/" + title, "", "", ""});
  AppendRecords(tables.ApTable1, tables.ApTable2, rows);
}

}  // namespace testsupport
