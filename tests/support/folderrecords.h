// Records written into a data folder's catalogue before the windows under
// test open it.
#pragma once

#include <QString>

#include <vector>

namespace testsupport {

// A record as the window tests give it: a file of the size and the date
// below unless told otherwise; a field left empty stays blank.
struct RecordRow {
  QString catalog, title, path, size = "1,024", date = "12/03/2019 14:22:05", desc = {};
  bool deleted = false;  // left marked deleted
};

// Adds `rows` to the records table of the data folder `dataFolder`, and
// each record's catalog, unless it is there already, to its catalog table,
// through cursors of their own, in one batch.
void AddRecords(const QString& dataFolder, const std::vector<RecordRow>& rows);

}  // namespace testsupport
