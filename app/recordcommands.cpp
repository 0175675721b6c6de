#include "recordcommands.h"

#include "catalognames.h"
#include "commandtags.h"
#include "datafiles.h"
#include "datamodule.h"
#include "filefacts.h"
#include "maincontext.h"
#include "settings.h"
#include "titlejump.h"

TRecordCommands::TRecordCommands(MainContext& context, RecordsView& view, std::function<QString()> currentCatalog)
    : context_(context), view_(view), currentCatalog_(std::move(currentCatalog)) {}

bool TRecordCommands::Editing() const { return browse::IsEditing(context_.dm.ApTable1.GetState()); }

// ---- the latching group -----------------------------------------------------------------

void TRecordCommands::LatchClicked(Latch button) {
  // Editing, moving or deleting writes the current record: not while a part
  // of it cannot be read, which the write would lose.
  if (button != Latch::Add) {
    const QString refusal = view_.WriteRefusal();
    if (!refusal.isEmpty()) {
      view_.SetLatched(button, false);
      context_.Tell(prompts::Kind::Error, refusal);
      return;
    }
  }
  // At most one of the group is down; all may be up.
  if (view_.Latched(button)) ReleaseLatched(button);
  if (button == Latch::Edit) {
    sbtnEditClick();  // released, it drops the edit
    return;
  }
  if (!view_.Latched(button)) return;  // released: nothing to run
  if (button == Latch::Add)
    sbtnAddClick();
  else
    MoveOrDelete(button);
}

void TRecordCommands::ReleaseLatched(Latch except) {
  for (Latch b : {Latch::Edit, Latch::Add, Latch::Move, Latch::Delete})
    if (b != except) view_.SetLatched(b, false);
}

void TRecordCommands::ReleaseBatchButtons() {
  for (Latch b : {Latch::Add, Latch::Move, Latch::Delete}) view_.SetLatched(b, false);
}

void TRecordCommands::mnuRecEditClick() {
  view_.SetLatched(Latch::Edit, true);
  LatchClicked(Latch::Edit);
}

void TRecordCommands::mnuRecAddClick() {
  view_.SetLatched(Latch::Add, true);
  LatchClicked(Latch::Add);
}

void TRecordCommands::mnuMoveClick() {
  view_.SetLatched(Latch::Move, true);
  LatchClicked(Latch::Move);
}

void TRecordCommands::mnuRecDelClick() {
  view_.SetLatched(Latch::Delete, true);
  LatchClicked(Latch::Delete);
}

// ---- editing -------------------------------------------------------------------------------

void TRecordCommands::sbtnEditClick() {
  context_.Run([this] {
    xbase::Table& t = context_.dm.ApTable1;
    if (!browse::IsEditing(t.GetState())) {
      t.Edit();
      view_.FocusRecords();
    } else if (!view_.Latched(Latch::Edit)) {
      t.Cancel();  // the button released: the changes go
    }
  });
  // A refused edit leaves the button up.
  if (!Editing()) view_.SetLatched(Latch::Edit, false);
}

void TRecordCommands::sbtnSaveClick() {
  context_.Run([this] {
    // An open cell editor's text belongs to the record.
    view_.CommitCellEdit();
    const browse::SaveOutcome o = browse::SaveRecord(context_.dm.ApTable1);
    if (o.kind == browse::SaveOutcome::Kind::Inserted) context_.dm.Counts.AddToCatalog(1);
    if (o.kind == browse::SaveOutcome::Kind::Edited || o.kind == browse::SaveOutcome::Kind::Inserted)
      context_.status.ShowStatus(browse::SavedText(o));
  });
  context_.status.RestartClearTimer();
}

bool TRecordCommands::LeaveEdit(browse::LeaveEdit how) {
  xbase::Table& t = context_.dm.ApTable1;
  if (!t.Active() || !browse::IsEditing(t.GetState())) return true;
  view_.CommitCellEdit();
  browse::LeaveOutcome o;
  if (!context_.Run([&] { o = browse::EndEdit(t, how, context_.boxParent); })) return false;
  if (o.saved.kind == browse::SaveOutcome::Kind::Inserted) context_.dm.Counts.AddToCatalog(1);
  return o.goOn;
}

void TRecordCommands::DescriptionEdited(const QString& before, const QString& after) {
  if (!Editing() || after == before) return;
  context_.Run([&] { context_.dm.ApTable1.SetFieldByName(store::kFieldDesc, store::ToUtf8(after)); });
}

void TRecordCommands::FileLabel1DblClick() {
  xbase::Table& t = context_.dm.ApTable1;
  if (t.GetState() != xbase::State::Edit) return;
  if (!view_.ChooseFiles("Select the file that will replace the current file.")) return;
  context_.Run([this] { SetRecordFile(); });
  const QString path = store::FromUtf8(t.FieldByName(store::kFieldName));
  context_.status.ShowStatus(" Changing to..." +
                             path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1));
  view_.FocusRecords();
}

void TRecordCommands::SetRecordFile() {
  xbase::Table& t = context_.dm.ApTable1;
  t.SetFieldByName(store::kFieldCatalog, store::ToUtf8(currentCatalog_()));
  // The label holds one file's path, or how many files were chosen.
  const QString path = view_.ChosenPath();
  const int64_t size = browse::FileSizeOf(path);
  if (size < 0) return;
  // A path cut to the field would name another file: it is not stored.
  if (store::ToUtf8(path).size() > (size_t)store::kNameWidth) {
    context_.Tell(prompts::Kind::Error, "The path of this file is longer than " + QString::number(store::kNameWidth) +
                                            " bytes and cannot be stored:\n" + path);
    return;
  }
  t.SetFieldByName(store::kFieldName, store::ToUtf8(path));
  t.SetFieldByName(store::kFieldSize, store::ToUtf8(browse::FormatFileSize(size)));
  t.SetFieldByName(store::kFieldDate, store::ToUtf8(browse::FileDateText(browse::FileDateOf(path))));
}

bool TRecordCommands::PasteIntoDescription(const QString& text) {
  xbase::Table& t = context_.dm.ApTable1;
  if (!t.Active() || (t.RecNo() == 0 && !Editing())) {
    context_.Tell(prompts::Kind::Error, "There is no record to copy the text to.");
    return false;
  }
  if (!context_.readOnly.isEmpty()) {
    context_.Tell(prompts::Kind::Error, context_.readOnly);
    return false;
  }
  if (const QString refusal = view_.WriteRefusal(); !refusal.isEmpty()) {
    context_.Tell(prompts::Kind::Error, refusal);
    return false;
  }
  const bool wasBrowsing = !Editing();
  if (wasBrowsing) {
    view_.SetLatched(Latch::Edit, true);
    sbtnEditClick();
    if (!Editing()) return false;
  }
  view_.InsertIntoDescription(text);
  // A record that was only browsed keeps the text at once; one the user
  // was editing stays in edit for the user to save.
  if (wasBrowsing) {
    sbtnSaveClick();
    if (Editing()) return false;
  }
  return true;
}

// ---- moving in the grid ---------------------------------------------------------------------

void TRecordCommands::RxDBGrid1TitleBtnClick(int column) {
  // While editing, the title button ends the edit and goes nowhere; what
  // was typed is kept or dropped as the user says.
  if (Editing() && column == 0) {
    LeaveEdit(browse::LeaveEdit::Ask);
    return;
  }
  context_.Run([this] {
    xbase::Table& t = context_.dm.ApTable1;
    t.DisableControls();
    struct Resume {
      xbase::Table& t;
      ~Resume() { t.EnableControls(); }
    } resume{t};
    browse::JumpToNextInitial(t, store::kFieldTitle);
  });
}

void TRecordCommands::GridRowChosen(int row) {
  if (row < 0) return;
  context_.Run([this, row] {
    xbase::Table& t = context_.dm.ApTable1;
    if (t.RecordIndex() != row) t.MoveToIndex(row);
  });
}

void TRecordCommands::mnuSelAllClick() {
  context_.Run([this] {
    xbase::Table& t = context_.dm.ApTable1;
    if (t.Active() && t.RecordCount() > 0) view_.SelectAllRecords();
  });
}

void TRecordCommands::mnuUnSelAllClick() { view_.ClearSelection(); }

// ---- adding, moving and deleting many records ---------------------------------------------

void TRecordCommands::sbtnAddClick() {
  if (!view_.Latched(Latch::Add)) return;
  // The new records move the cursor: the record being edited is saved first.
  if (!LeaveEdit(browse::LeaveEdit::Save)) {
    view_.SetLatched(Latch::Add, false);
    return;
  }
  if (view_.ChooseFiles("Select the file that you want to ADD. ")) {
    const BatchMode mode = StartBatch(BatchMode::Add);
    bool editOn = true;
    try {
      editOn = context_.settings.Read(settings::kChkBxEditON);
    } catch (const SettingsError&) {
    }
    // The record added last opens for editing.
    if (editOn && mode != BatchMode::Cancelled && context_.dm.ApTable1.RecordCount() > 0) {
      view_.SetLatched(Latch::Edit, true);
      sbtnEditClick();
    }
  } else {
    context_.Run([this] {
      if (Editing()) context_.dm.ApTable1.Cancel();
    });
  }
  view_.SetLatched(Latch::Add, false);
}

void TRecordCommands::MoveOrDelete(Latch button) {
  if (view_.SelectedCount() == 0) {
    prompts::Current().Message(context_.boxParent, prompts::Kind::Confirmation, "No records are selected.",
                               prompts::Cancel, prompts::Cancel);
    ReleaseBatchButtons();
    return;
  }
  StartBatch(button == Latch::Move ? BatchMode::Move : BatchMode::Delete);
}

BatchMode TRecordCommands::StartBatch(BatchMode mode) {
  // The batch moves the cursor: the record being edited is saved first.
  if (!LeaveEdit(browse::LeaveEdit::Save)) {
    ReleaseBatchButtons();
    return BatchMode::Cancelled;
  }
  BatchRecords batch;
  bool ready = true;
  if (mode != BatchMode::Add) {
    // Exactly the selected records the shown catalog holds, in its order.
    ready = context_.Run([&] {
      const std::vector<uint32_t> records = view_.SelectedRecords();
      xbase::Table& t = context_.dm.ApTable1;
      const int title = t.FieldIndex(store::kFieldTitle);
      batch.records = records;
      t.ForEachRecordOf(records, [&](const xbase::RecordRef& r) {
        batch.titles << store::FromUtf8(std::string(r.Text(title)));
        return true;
      });
      if (mode == BatchMode::Move) {
        for (const QString& name : store::LoadCatalogList(context_.dm.ApTable2, 1 << 30).names)
          if (name != currentCatalog_()) batch.moveTargets << name;
      }
    });
  }
  const BatchMode closed = ready ? view_.RunBatch(mode, batch) : BatchMode::Cancelled;
  view_.ClearSelection();
  view_.ResetRecords();
  ReleaseBatchButtons();
  return closed;
}

// ---- description clean-up ----------------------------------------------------------------

void TRecordCommands::sbtnClrCRLFClick() { CleanDescription(browse::Cleanup::LineBreaks); }
void TRecordCommands::sbtnRemExtraSpcsClick() { CleanDescription(browse::Cleanup::ExtraSpaces); }
void TRecordCommands::sbtnCmbCLESClick() { CleanDescription(browse::Cleanup::Both); }

void TRecordCommands::CleanDescription(browse::Cleanup how) {
  // Only a description being edited changes; one shown in Browse stays as
  // it is stored (the shortcuts reach here in Browse too).
  if (view_.DescriptionReadOnly()) return;
  view_.CleanDescription(how);
}
