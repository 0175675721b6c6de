// The list of catalogs the main window shows as tabs.
#pragma once

#include <QStringList>

#include <xbase.h>

namespace store {

// The catalog every database has when no other exists.
inline constexpr char kTemporaryCatalog[] = "Temporary";

struct CatalogList {
  QStringList names;              // trimmed, in the order of the table's active tag
  bool createdTemporary = false;  // the table was empty and got "Temporary"
};

// The names of the open catalog-names table, at most `max` of them. An empty
// table first gets the record "Temporary" (posted and re-read), so the list
// is never empty. Leaves the table on its first record. Throws xbase::Error.
CatalogList LoadCatalogList(xbase::Table& names, int max);

}  // namespace store
