// Adding, deleting and renaming catalogs: the catalog-names table and the
// records that carry a catalog's name. Names are UTF-8, as the tables store
// them (StoredCatalogName).
#pragma once

#include <cstdint>
#include <string>

#include "datatables.h"

namespace store {

// Adds the name to the catalog-names table, unless a record of exactly
// that name is there already (the unique tag would show it once anyway).
void AddCatalogName(DataTables& db, const std::string& name);

// Removes every record of exactly this name from the catalog-names table
// and packs the table.
void DeleteCatalogName(DataTables& db, const std::string& name);

// Deletes the records of the catalog (ApTable1 must show exactly that
// catalog) in one batch; returns how many were deleted. They leave the file
// at the next pack.
int64_t DeleteCatalogRecords(DataTables& db);

// Gives the records of the catalog ApTable1 shows (`oldName`) the catalog
// `newName`, in one batch; returns how many were renamed. Every other field
// stays as it is.
int64_t RenameCatalogRecords(DataTables& db, const std::string& oldName, const std::string& newName);

}  // namespace store
