// Saving the record being edited or inserted in the main window.
#pragma once

#include <QString>

class QWidget;

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

// What a command that leaves the record being edited does with its changes.
enum class LeaveEdit {
  Save,  // saved first, as moving to another record saves them
  Ask,   // the user is asked: Yes saves them, No drops them, Cancel stays
};

struct LeaveOutcome {
  bool goOn = true;   // false: the user chose to stay in the record
  SaveOutcome saved;  // what the save did, when the record was saved
};

// The question of LeaveEdit::Ask.
inline constexpr char kUnsavedQuestion[] = "The changes to this record have not been saved.\nSave them?";

// Settles the record being edited or inserted before a command leaves it,
// so that nothing typed is dropped without the user's word: a record
// without changes just ends its edit; a changed one is saved by Save's rule
// (SaveRecord), with Ask only when the user says Yes (No drops the changes,
// Cancel leaves the edit open and goOn false). Nothing when not editing.
LeaveOutcome EndEdit(xbase::Table& t, LeaveEdit how, QWidget* parent);

// The status text of a stored record: " Saved...", then "Edited..." after an
// edit, then the file name, run together.
QString SavedText(const SaveOutcome& outcome);

}  // namespace browse
