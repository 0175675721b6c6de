// The commands on the records of the shown catalog: edit, save, add, move,
// delete, select, the description clean-ups, the title jump, a new file
// for the record being edited, and settling an edit before a command
// leaves it. The store does the work; the window only shows the outcome.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "descriptioncleanup.h"
#include "multifiles.h"
#include "recordedit.h"

class MainContext;

// The latching tool buttons: at most one of them is down.
enum class Latch { Edit, Add, Move, Delete };

// The records of a Move or Delete batch, in the catalog's order.
struct BatchRecords {
  std::vector<uint32_t> records;
  QStringList titles;
  QStringList moveTargets;  // the other catalogs (Move only)
};

// What the record commands ask of the window.
class RecordsView {
 public:
  virtual ~RecordsView() = default;
  virtual bool Latched(Latch button) const = 0;
  virtual void SetLatched(Latch button, bool down) = 0;
  // The grid: an open cell editor's text goes into the record.
  virtual void CommitCellEdit() = 0;
  virtual void FocusRecords() = 0;
  virtual void ResetRecords() = 0;
  // The rows chosen in the grid, as record numbers.
  virtual int SelectedCount() const = 0;
  virtual std::vector<uint32_t> SelectedRecords() const = 0;
  virtual void ClearSelection() = 0;
  virtual void SelectAllRecords() = 0;
  // Why the current record may not be written ("" when it may).
  virtual QString WriteRefusal() const = 0;
  virtual bool DescriptionReadOnly() const = 0;
  // The memo's selection cleaned; text put in at the caret.
  virtual void CleanDescription(browse::Cleanup how) = 0;
  virtual void InsertIntoDescription(const QString& text) = 0;
  // The files window; false when the user closed it without a choice.
  virtual bool ChooseFiles(const QString& title) = 0;
  // The file chosen there (its full path), or how many were chosen.
  virtual QString ChosenPath() const = 0;
  // The batch window of `mode` over the files chosen (Add) or `records`;
  // returns the mode it closed in.
  virtual BatchMode RunBatch(BatchMode mode, const BatchRecords& records) = 0;
};

class TRecordCommands {
 public:
  TRecordCommands(MainContext& context, RecordsView& view, std::function<QString()> currentCatalog);

  // Before a command leaves the record being edited: the title cell being
  // typed in is taken into the record, then browse::EndEdit settles it (a
  // stored new record raises the counts). False when the user chose to
  // stay in the record, or its save failed (the error was shown).
  bool LeaveEdit(browse::LeaveEdit how);
  // A latching button pressed or released (the Records menu presses it).
  void LatchClicked(Latch button);
  // The user changed the description of the record being edited.
  void DescriptionEdited(const QString& before, const QString& after);
  // The grid's current row became `row` of the catalog.
  void GridRowChosen(int row);
  // Pastes `text` into the description (RecordSession).
  bool PasteIntoDescription(const QString& text);

  void sbtnEditClick();
  void mnuRecEditClick();
  void sbtnSaveClick();
  void sbtnAddClick();
  void mnuRecAddClick();
  void mnuMoveClick();
  void mnuRecDelClick();
  void mnuSelAllClick();
  void mnuUnSelAllClick();
  void RxDBGrid1TitleBtnClick(int column);
  void FileLabel1DblClick();
  void sbtnClrCRLFClick();
  void sbtnRemExtraSpcsClick();
  void sbtnCmbCLESClick();
  void CleanDescription(browse::Cleanup how);

 private:
  // The entry check of Move and Delete: a batch only with selected rows.
  void MoveOrDelete(Latch button);
  // Runs the batch window in a mode; returns the mode it closed in.
  BatchMode StartBatch(BatchMode mode);
  void ReleaseLatched(Latch except);
  void ReleaseBatchButtons();
  void SetRecordFile();
  bool Editing() const;

  MainContext& context_;
  RecordsView& view_;
  std::function<QString()> currentCatalog_;
};
