#include "catalog.h"

#include <xbase.h>

#include "datafiles.h"

namespace store {

std::string CatalogQueryUtf8(std::string_view name) {
  std::string literal = StoredCatalogName(name);
  literal.resize(kCatalogWidth, ' ');
  if (literal.find('"') == std::string::npos) return "Catalog = \"" + literal + "\"";
  return "Catalog = " + xbase::QuoteLiteral(literal);
}

QString CatalogQuery(const QString& name) { return FromUtf8(CatalogQueryUtf8(ToUtf8(name))); }

std::string StoredCatalogName(std::string_view name) {
  std::string_view cut = xbase::CutToWidth(name, kCatalogWidth);
  while (!cut.empty() && cut.back() == ' ') cut.remove_suffix(1);
  return std::string(cut);
}

}  // namespace store
