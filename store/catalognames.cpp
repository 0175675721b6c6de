#include "catalognames.h"

#include "datafiles.h"

namespace store {

CatalogList LoadCatalogList(xbase::Table& names, int max) {
  CatalogList list;
  if (names.RecordCount() == 0) {
    names.Insert();
    names.SetFieldByName(kFieldCatalog, kTemporaryCatalog);
    names.Post();
    names.Refresh();
    list.createdTemporary = true;
  }
  for (names.First(); !names.Eof() && list.names.size() < max; names.Next())
    list.names.append(FromUtf8(names.FieldByName(kFieldCatalog)));
  names.First();
  return list;
}

}  // namespace store
