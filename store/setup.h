// First-run creation of the database files and the index files held to the
// store's tags, in UTF-8 and free of Qt (createdb.h and indexfiles.h give
// the window's QString forms).
#pragma once

#include <string>
#include <vector>

#include <xbase.h>

namespace store {

// Texts of the per-file outcome.
inline constexpr char kCreated[] = "Created";
inline constexpr char kFailed[] = "Failed";
// Texts shown when a table could not even be started; creation stops there.
inline constexpr char kRecordsTableFailed[] = "VTLDataA.dbf failed";
inline constexpr char kCatalogTableFailed[] = "VTLCa.dbf failed";

struct CreationOutcome {
  // Outcome per file: empty when the file already existed or was not
  // reached, otherwise kCreated or kFailed.
  std::string recordsTable, recordsIndex, catalogTable, catalogIndex;
  // kRecordsTableFailed or kCatalogTableFailed when a table could not be
  // started (the data folder is missing); nothing after it was tried.
  std::string failure;
  // An engine error that broke off the creation (for instance the
  // exclusive open for a tag failed); the remaining steps were skipped.
  std::string error;
  // The engine's reason for each kFailed outcome.
  std::vector<std::string> reasons;
  bool ok() const;  // nothing failed
};

// Creates whatever of VTLDataA.dbf (with its memo file), VTLDataA.nsx,
// VTLCa.dbf and VTLCa.nsx is missing in `dataDir`, in that order. A table
// created here is empty; an index created for a table that was already
// there indexes the records it holds. Never throws.
CreationOutcome CreateDatabaseFilesUtf8(const std::string& dataDir);

// The store's tag of one table (kRecordsTable or kCatalogTable) as the
// engine takes it; empty for another name.
std::vector<xbase::TagInfo> StoreTagsOf(const char* table);

// The status text for an index file recreated from the store's tags, e.g.
// "Index file VTLDataA.nsx was rebuilt."
std::string IndexRebuiltTextUtf8(const std::string& indexFile);

// Makes sure the index file of one table of the database (kRecordsTable or
// kCatalogTable) can serve it: readable, holding exactly the store's tag
// for that table (CatFlTl on the records, unique CtLg on the catalog
// names). An index file that holds other tags (another table's), is no
// index file at all, or whose tag list is unreadable is written anew from
// the table with the store's tag; that loses nothing, as an index holds
// nothing the table does not. Returns the status text for a recreated file,
// else an empty text. A missing index file (or table) is left to the
// creation of the database files; a stale or damaged tree under a readable
// tag list is left to the engine, which rebuilds it when the table opens.
// In a folder that cannot be written nothing is rewritten: the table is
// read through a private index instead (see ConfigureDataTables).
// Throws xbase::Error naming the file for an index file of a newer format
// (Unsupported: it is never overwritten, so a newer version of the program
// keeps its file) and when the table cannot be used to its end (another
// program holds it: Locked; the table is damaged: Corrupt). The table must
// be closed in `env`.
std::string RepairIndexFileUtf8(const std::string& dataDir, const char* table, xbase::Environment& env);

// RepairIndexFileUtf8 for both tables, the records first; both are tried.
// Returns the status texts; the message of each failure is added to
// `errors`.
std::vector<std::string> RepairIndexFilesUtf8(const std::string& dataDir, xbase::Environment& env,
                                              std::vector<std::string>& errors);

}  // namespace store
