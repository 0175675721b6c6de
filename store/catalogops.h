// Adding, deleting and renaming catalogs: the catalog-names table and the
// records that carry a catalog's name. Names are UTF-8, as the tables store
// them. A name is stored whole or not at all: the Catalog field holds 20
// bytes, and a name cut to them would be another name, perhaps another
// catalog's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "datatables.h"

namespace store {

// Why `name` cannot name a catalog as it stands, as a sentence ("" when it
// can): it is empty, or longer than the Catalog field (names are compared
// as they are stored, so two names that differ only past the field's width
// would meet as one catalog).
std::string CatalogNameProblem(std::string_view name);

// Whether the catalog-names table holds this name (letter case aside when
// `ignoreCase`). Leaves the table on that record, or where it was.
bool CatalogNameExists(xbase::Table& names, std::string_view name, bool ignoreCase);

// Adds a new catalog of this name. Refuses, with xbase::Error (Usage) whose
// message tells why, a name with a CatalogNameProblem and a name that a
// catalog has already, letter case aside. Synced when it returns.
void AddCatalogName(DataTables& db, const std::string& name);

// Removes every record of exactly this name from the catalog-names table,
// synced when it returns. The records stay in the file marked deleted: no
// pack, which would need the table to itself and fail while another
// program reads it.
void DeleteCatalogName(DataTables& db, const std::string& name);

// Deletes the records of the catalog (ApTable1 must show exactly that
// catalog) in one batch; returns how many were deleted. They leave the file
// at the next pack.
int64_t DeleteCatalogRecords(DataTables& db);

// Gives the records of the catalog ApTable1 shows (`oldName`) the catalog
// `newName`, in one batch; returns how many were renamed. Every other field
// stays as it is.
int64_t RenameCatalogRecords(DataTables& db, const std::string& oldName, const std::string& newName);

// Renames the catalog ApTable1 shows: the new name is added (a catalog of
// exactly that name already there is joined), the records are moved, and
// the old name is deleted last, so that whatever fails on the way, every
// record still belongs to a name the catalog-names table holds. Refuses a
// new name with a CatalogNameProblem (xbase::Error, Usage) before anything
// is written. Renaming a catalog to its own name changes nothing. Returns
// how many records were renamed.
int64_t RenameCatalog(DataTables& db, const std::string& oldName, const std::string& newName);

}  // namespace store
