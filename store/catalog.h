// Catalog names and the query that selects one catalog's records, in the
// window's QString form (schema.h has the UTF-8 one).
#pragma once

#include <QString>

#include "schema.h"

namespace store {

// CatalogQueryUtf8 of a QString name.
QString CatalogQuery(const QString& name);

}  // namespace store
