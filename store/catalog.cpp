#include "catalog.h"

#include "datafiles.h"

namespace store {

QString CatalogQuery(const QString& name) { return FromUtf8(CatalogQueryUtf8(ToUtf8(name))); }

}  // namespace store
