// The current record of the shown catalog, as a command on the record's
// file sees it: its path, the record following its file, the record
// deleted, its edit ended, text pasted into its description. Each call is one command on the records table:
// an engine error is shown in one "Error" box, an edit is cancelled back to
// browsing, and the call tells that it failed. The implementation over the
// records table is browse::TableRecordSession.
#pragma once

#include <QString>

#include <optional>

class QWidget;

// How an edit of the record ended when the user was asked.
enum class EditEnd {
  NotEditing,  // there was no edit
  Stayed,      // the user chose to go on editing
  Saved,       // the changes were stored (a new record counted)
  Dropped,     // the changes were dropped, or there was nothing to store
  Failed,      // an engine error (shown)
};

class RecordSession {
 public:
  virtual ~RecordSession() = default;

  // The path of the current record's file (also while it is being
  // edited): as the record holds it, or where the file is now when its
  // volume is mounted at another place; "" when the catalog is not open.
  // Nothing after an engine error.
  virtual std::optional<QString> FilePath() = 0;
  // The record follows its file to `path`; its title, size and date stay.
  // A path on a volume mounted at another place is kept the way the
  // record named that volume.
  virtual bool FollowFile(const QString& path) = 0;
  // The record is deleted; both record counts drop by one.
  virtual bool Delete() = 0;
  // An edit of the record is dropped (nothing when there is none).
  virtual void DropEdit() = 0;
  // Ends an edit of the record, asking the user (boxes over `parent`)
  // whether to store its changes.
  virtual EditEnd EndEditAsking(QWidget* parent) = 0;
  // Pastes `text` into the record's description at the caret, over its
  // selection. A record that was only being browsed is saved at once; one
  // already in edit stays in edit for the user to save. False, with the
  // reason shown, when the record cannot take it.
  virtual bool PasteIntoDescription(const QString& text) = 0;
};
