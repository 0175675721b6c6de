// First-run creation of the database files (the "Database Utility"
// window's work, without the window).
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include <xbase.h>

namespace store {

// Texts of the per-file outcome.
inline constexpr char kCreated[] = "Created";
inline constexpr char kFailed[] = "Failed";
// Texts shown when a table could not even be started; creation stops there.
inline constexpr char kRecordsTableFailed[] = "VTLDataA.dbf failed";
inline constexpr char kCatalogTableFailed[] = "VTLCa.dbf failed";

inline constexpr char kRecordsKey[] = "Catalog+upper(FLTitle)";
inline constexpr char kCatalogKey[] = "Catalog";
inline constexpr char kTagCondition[] = ".not. DELETED()";

// Schemas, fields in table order.
std::vector<xbase::FieldDef> RecordsTableFields();
std::vector<xbase::FieldDef> CatalogTableFields();

struct CreationResult {
  // Outcome per file: empty when the file already existed or was not
  // reached, otherwise kCreated or kFailed. In the window these are
  // Label7 (records table), Label8 (its index), Label9 (catalog table) and
  // Label10 (its index).
  QString recordsTable;
  QString recordsIndex;
  QString catalogTable;
  QString catalogIndex;
  // kRecordsTableFailed or kCatalogTableFailed when a table could not be
  // started (the data folder is missing); nothing after it was tried.
  QString failure;
  // An engine error that broke off the creation (for instance the
  // exclusive open for a tag failed); the remaining steps were skipped.
  QString error;
  // The engine's reason for each kFailed outcome, for logs and the
  // command-line tool.
  QStringList reasons;

  bool ok() const;  // nothing failed
};

// The names of the four files of the database (table and index of each
// table) that are missing from `dataDir`, in creation order.
QStringList MissingDatabaseFiles(const QString& dataDir);

// Creates whatever of VTLDataA.dbf (with its memo file), VTLDataA.nsx,
// VTLCa.dbf and VTLCa.nsx is missing in `dataDir`, in that order. A table
// created here is empty; an index created for a table that was already
// there indexes the records it holds. Never throws.
CreationResult CreateDatabaseFiles(const QString& dataDir);

}  // namespace store
