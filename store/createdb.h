// First-run creation of the database files (the "Database Utility"
// window's work, without the window), in the window's QString form.
#pragma once

#include <QString>
#include <QStringList>

#include "schema.h"
#include "setup.h"

namespace store {

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
  // The engine's reason for each kFailed outcome, for logs.
  QStringList reasons;

  bool ok() const;  // nothing failed
};

// The names of the four files of the database (table and index of each
// table) that are missing from `dataDir`, in creation order.
QStringList MissingDatabaseFiles(const QString& dataDir);

// CreateDatabaseFilesUtf8 (setup.h) on a QString folder. Never throws.
CreationResult CreateDatabaseFiles(const QString& dataDir);

}  // namespace store
