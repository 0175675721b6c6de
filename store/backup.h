// The backup of the database: its files copied, as one set, to the
// folder "Backup" beside the data folder. Free of Qt.
#pragma once

#include <string>
#include <vector>

#include "datatables.h"

namespace store {

// "Backup" beside the data folder: "<folder that holds dataDir>/Backup".
std::string BackupFolderUtf8(const std::string& dataDir);

// The files a backup copies, in the order it copies them: the catalog-names
// table and its index, the records table, its index and its memo file, and
// the table of volumes with its memo, by the names the data folder holds
// them under.
std::vector<std::string> BackupFileNames();

struct BackupResult {
  // The files that could not be copied, each as "NAME: why".
  std::vector<std::string> failed;
  // Files the data folder did not hold and the database does without: index
  // files (rebuilt from their tables whenever they are missing) and the
  // table of volumes before any was remembered.
  std::vector<std::string> skipped;
  // Whether the backup folder held copies from an earlier backup.
  bool hadPrevious = false;
  // What went wrong with the backup folder itself; "" when nothing did.
  std::string problem;
  bool Complete() const { return failed.empty() && problem.empty(); }
};

// Copies the backup files from `dataDir` to `backupDir` (created when
// missing) under their own names, the tables staying open. The open tables
// are flushed first, so the copies are the database as posted. Each copy
// is written beside the old backup copy of its file and synced; only when
// every file was copied do the new copies replace the old ones, together.
// An index file that is missing is not copied (its old copy goes with the
// old set, as it no longer matches the tables).
// A backup that fails leaves the previous one as it was and removes what it
// wrote; the result names each file it could not copy. Engine errors of
// the flush propagate before anything is copied.
BackupResult BackupDatabaseOf(DataTables& db, const std::string& dataDir, const std::string& backupDir);

}  // namespace store
