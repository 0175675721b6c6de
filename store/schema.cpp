#include "schema.h"

namespace store {

std::vector<xbase::FieldDef> RecordsTableFields() {
  return {
      {kFieldCatalog, 'C', kCatalogWidth, 0}, {kFieldTitle, 'C', kTitleWidth, 0},
      {kFieldName, 'C', kNameWidth, 0},       {kFieldSize, 'C', kSizeWidth, 0},
      {kFieldDate, 'C', kDateWidth, 0},       {kFieldDesc, 'M', 10, 0},
  };
}

std::vector<xbase::FieldDef> CatalogTableFields() { return {{kFieldCatalog, 'C', kCatalogWidth, 0}}; }

std::string CatalogQueryUtf8(std::string_view name) {
  std::string literal = StoredCatalogName(name);
  literal.resize(kCatalogWidth, ' ');
  if (literal.find('"') == std::string::npos) return "Catalog = \"" + literal + "\"";
  return "Catalog = " + xbase::QuoteLiteral(literal);
}

std::string StoredCatalogName(std::string_view name) {
  std::string_view cut = xbase::CutToWidth(name, kCatalogWidth);
  while (!cut.empty() && cut.back() == ' ') cut.remove_suffix(1);
  return std::string(cut);
}

}  // namespace store
