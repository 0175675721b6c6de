// Saving the record being edited or inserted in the main window.
#pragma once

#include <QString>

#include <xbase.h>

namespace browse {

struct SaveOutcome {
  enum class Kind {
    Nothing,   // the record was not being edited
    Dropped,   // it had no file name: its edit was cancelled
    Edited,    // an edited record was stored
    Inserted,  // a new record was stored
  };
  Kind kind = Kind::Nothing;
  QString fileName;  // the stored path's last part
};

// Posts the record being edited or inserted and stays on it; a record
// without a file name is never stored (its edit is cancelled instead).
SaveOutcome SaveRecord(xbase::Table& t);

// The status text of a stored record: " Saved...", then "Edited..." after an
// edit, then the file name, run together.
QString SavedText(const SaveOutcome& outcome);

}  // namespace browse
