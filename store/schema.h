// The database's files, tables, fields and tags, and the catalog query:
// what every part of the program (and the command-line tool) agrees on.
// Free of Qt, so that the tool can do without it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <xbase.h>

namespace store {

// The files of the catalog database, all in the data folder.
inline constexpr char kRecordsTable[] = "VTLDataA.dbf";  // one record per catalogued file
inline constexpr char kRecordsIndex[] = "VTLDataA.nsx";  // tag CatFlTl
inline constexpr char kRecordsMemo[] = "VTLDataA.SMT";   // FLDESC texts
inline constexpr char kCatalogTable[] = "VTLCa.dbf";     // one record per catalog
inline constexpr char kCatalogIndex[] = "VTLCa.nsx";     // tag CtLg

inline constexpr char kRecordsTag[] = "CatFlTl";
inline constexpr char kCatalogTag[] = "CtLg";

inline constexpr char kRecordsKey[] = "Catalog+upper(FLTitle)";
inline constexpr char kCatalogKey[] = "Catalog";
inline constexpr char kTagCondition[] = ".not. DELETED()";

// Field names of the records table, in table order, and of the
// catalog-names table (its only field is Catalog too).
inline constexpr char kFieldCatalog[] = "Catalog";
inline constexpr char kFieldTitle[] = "FLTITLE";
inline constexpr char kFieldName[] = "FLNAME";
inline constexpr char kFieldSize[] = "FLSIZE";
inline constexpr char kFieldDate[] = "FLDATE";
inline constexpr char kFieldDesc[] = "FLDESC";

// Widths in bytes of the character fields.
inline constexpr int kCatalogWidth = 20;  // the Catalog field, both tables
inline constexpr int kTitleWidth = 80;
inline constexpr int kNameWidth = 255;
inline constexpr int kSizeWidth = 10;
inline constexpr int kDateWidth = 21;

inline constexpr int kMaxCatalogs = 40;  // one tab per catalog, at most this many

// Schemas, fields in table order.
std::vector<xbase::FieldDef> RecordsTableFields();
std::vector<xbase::FieldDef> CatalogTableFields();

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
std::string CatalogQueryUtf8(std::string_view name);

// A catalog name as the Catalog field stores it: cut to the field width
// without splitting a UTF-8 character, trailing blanks removed (a field
// reads back without them).
std::string StoredCatalogName(std::string_view name);

}  // namespace store
