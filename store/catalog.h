// Catalog names and the query that selects one catalog's records.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace store {

inline constexpr int kCatalogWidth = 20;  // bytes of the Catalog field, both tables
inline constexpr int kMaxCatalogs = 40;   // one tab per catalog, at most this many

// The query expression that restricts the records table to one catalog:
// Catalog = "<name padded with blanks to the field's 20 bytes>". The
// comparison is the non-exact one (the padded field compared over the
// literal's length), so with a literal as wide as the field it selects
// exactly the records whose trimmed Catalog equals the name: "AB" does not
// take "AB  X", nor "Disk1" "Disk10". The leading condition still fixes a
// prefix of the CatFlTl key, so the engine answers it from the index. The
// name is taken as the field stores it (cut to 20 bytes, trailing blanks
// removed). A name holding a double quote gets a literal that still
// evaluates to exactly that text.
QString CatalogQuery(const QString& name);
std::string CatalogQueryUtf8(std::string_view name);

// A catalog name as the Catalog field stores it: cut to the field width
// without splitting a UTF-8 character, trailing blanks removed (a field
// reads back without them).
std::string StoredCatalogName(std::string_view name);

}  // namespace store
