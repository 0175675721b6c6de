// The index files of the catalog database held to the tags the store
// defines for them.
#pragma once

#include <QString>
#include <QStringList>

#include <xbase.h>

namespace store {

// The status text for an index file recreated from the store's tags, e.g.
// "Index file VTLDataA.nsx was rebuilt."
QString IndexRebuiltText(const QString& indexFile);

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
// Throws xbase::Error naming the file for an index file of a newer format
// (Unsupported: it is never overwritten, so a newer version of the program
// keeps its file) and when the table cannot be used to its end (another
// program holds it: Locked; the table is damaged: Corrupt). The table must
// be closed in `env`.
QString RepairIndexFile(const QString& dataDir, const char* table, xbase::Environment& env);

// RepairIndexFile for both tables, the records first; both are tried.
// Returns the status texts; the message of each failure is added to
// `errors`.
QStringList RepairIndexFiles(const QString& dataDir, xbase::Environment& env, QStringList& errors);

}  // namespace store
