// The handlers of the catalog tabs, the record data sources and the grid.
// What they decide is worked out by the browse library (the title jump, the
// tag pass, the record read around damage, the file check); here it is
// applied to the widgets.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>

#include "catalogops.h"
#include "catalognames.h"
#include "commandguard.h"
#include "datafiles.h"
#include "datagrid.h"
#include "datamodule.h"
#include "descriptioncleanup.h"
#include "filefacts.h"
#include "addtocatalog.h"
#include "mainwindow.h"
#include "multifiles.h"
#include "searchform.h"
#include "settings.h"
#include "icons.h"
#include "pathlabel.h"
#include "prompts.h"
#include "recordedit.h"
#include "searchform.h"
#include "titlejump.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);

void SetEnabledOf(QObject* o, bool on) {
  if (auto* w = qobject_cast<QWidget*>(o))
    w->setEnabled(on);
  else if (auto* a = qobject_cast<QAction*>(o))
    a->setEnabled(on);
}

void SetTextColour(QWidget* w, QPalette::ColorRole role, const QColor& colour) {
  QPalette pal = w->palette();
  pal.setColor(role, colour);
  w->setPalette(pal);
}

}  // namespace

// ---- catalogs ---------------------------------------------------------------------------

void TfrmVantrell::LoadCatalogTabs() {
  SetTotalRecordCount((int)dm_.ApTable1.RecordCount());
  RebuildCatalogTabs();
}

void TfrmVantrell::RebuildCatalogTabs() {
  QSignalBlocker quiet(TabControl1);
  while (TabControl1->count() > 0) TabControl1->removeTab(0);
  for (const QString& name : store::LoadCatalogList(dm_.ApTable2, kMaxCatalogs).names) TabControl1->addTab(name);
  TabControl1->setCurrentIndex(0);
}

// ---- the Catalog menu ---------------------------------------------------------------------

void TfrmVantrell::mnuAddCatClick() { ShowCatalogForm(qobject_cast<QAction*>(sender())); }
void TfrmVantrell::mnuRenCatClick() { ShowCatalogForm(mnuRenCat); }

void TfrmVantrell::ShowCatalogForm(QAction* invoker) {
  const browse::CatalogCommand command = invoker == mnuDelCat   ? browse::CatalogCommand::Delete
                                         : invoker == mnuRenCat ? browse::CatalogCommand::Rename
                                                                : browse::CatalogCommand::Add;
  QStringList names;
  for (int i = 0; i < TabControl1->count(); ++i) names << TabControl1->tabText(i);
  const QString current = CurrentCatalog();
  browse::TfrmCatalog form(
      this, command, current, names,
      [this, command, current](const QString& name) { return PerformCatalogCommand(command, current, name); },
      CatalogRecordCount());
  ApplyFlatButtons(&form);
  form.exec();
}

bool TfrmVantrell::PerformCatalogCommand(browse::CatalogCommand command, const QString& oldName,
                                         const QString& name) {
  // A name is stored whole or refused: cut to the field, it would be
  // another name, perhaps another catalog's.
  const std::string typed = store::ToUtf8(name);
  if (command != browse::CatalogCommand::Delete) {
    if (const std::string problem = store::CatalogNameProblem(typed); !problem.empty()) {
      prompts::Current().Message(this, prompts::Kind::Error, store::FromUtf8(problem));
      return false;
    }
  }
  // The record being edited: Delete and Rename move the cursor, which saves
  // it; Add shows the new catalog, which would drop it, so the user says.
  if (!LeaveEdit(command == browse::CatalogCommand::Add ? browse::LeaveEdit::Ask : browse::LeaveEdit::Save))
    return false;
  const std::string stored = store::StoredCatalogName(typed);
  const std::string old = store::StoredCatalogName(store::ToUtf8(oldName));
  const bool done = RunCommand([&] {
    switch (command) {
      case browse::CatalogCommand::Add:
        store::AddCatalogName(dm_, stored);
        break;
      case browse::CatalogCommand::Delete: {
        ShowStatus(" Deleting [ " + oldName + " ]...");
        const int64_t deleted = store::DeleteCatalogRecords(dm_);
        SetTotalRecordCount(TotalRecordCount() - (int)deleted);
        store::DeleteCatalogName(dm_, old);
        break;
      }
      case browse::CatalogCommand::Rename:
        store::RenameCatalog(dm_, old, stored);
        break;
    }
  });
  // The tabs mirror the catalog-names table, whatever went through.
  RunCommand([&] { RebuildCatalogTabs(); });
  QString show = command == browse::CatalogCommand::Delete ? QString() : store::FromUtf8(stored);
  if (!done) show = oldName;
  int index = 0;
  for (int i = 0; i < TabControl1->count(); ++i)
    if (TabControl1->tabText(i) == show) index = i;
  SelectTab(index);
  DataSource2DataChange(QString());
  return done;
}

QString TfrmVantrell::CurrentCatalog() const {
  int i = TabControl1->currentIndex();
  return i >= 0 ? TabControl1->tabText(i) : QString();
}

void TfrmVantrell::SelectCatalog(const QString& name) {
  xbase::Table& t = dm_.ApTable1;
  t.SetQuery(store::CatalogQueryUtf8(store::ToUtf8(name)));
  shownCatalog_ = name;
  SetCatalogRecordCount((int)t.QueryRecCount());
  RxDBGrid1->Reset();
  t.Refresh();
}

void TfrmVantrell::TabControl1Change() {
  // Another catalog would drop the record being edited: the user says
  // whether it is saved first; Cancel stays on the catalog shown.
  if (!LeaveEdit(browse::LeaveEdit::Ask)) {
    QSignalBlocker quiet(TabControl1);
    for (int i = 0; i < TabControl1->count(); ++i)
      if (TabControl1->tabText(i) == shownCatalog_) TabControl1->setCurrentIndex(i);
    return;
  }
  RunCommand([this] { SelectCatalog(CurrentCatalog()); });
  RxDBGrid1->setFocus();
}

void TfrmVantrell::SelectTab(int index) {
  {
    QSignalBlocker quiet(TabControl1);
    TabControl1->setCurrentIndex(index);
  }
  TabControl1Change();
}

// ---- the current record ---------------------------------------------------------------

bool TfrmVantrell::IsDriveReady(QChar drive) { return browse::IsDriveReady(drive); }

void TfrmVantrell::ShowVolumeLabel() { StatusPanel[1]->setText(recordView_->VolumeLabel()); }

void TfrmVantrell::DataSource1DataChange(const QString& field) {
  try {
    // A change of one field of the record being edited only refreshes what
    // shows the fields; a new file (path) is checked as a new record is.
    const bool wholeRecord = field.isEmpty() || field.compare(store::kFieldName, Qt::CaseInsensitive) == 0;
    if (wholeRecord)
      recordView_->RecordChanged(dm_.ApTable1, dm_.Packing);
    else
      recordView_->FieldChanged(dm_.ApTable1);
    ShowRecord(!wholeRecord);
  } catch (const xbase::Error& e) {
    ReportDamage(QString::fromUtf8(e.what()), command::ErrorText(e));
  }
}

void TfrmVantrell::ShowRecord(bool fieldOnly) {
  dbtxtCreated->setText(recordView_->Record().date);
  Label8->setText(recordView_->SizeLine());
  ShowMemo();
  if (fieldOnly) return;
  FileLabel1->setPath(recordView_->Record().path);
  ShowFile();
  RxDBGrid1->SyncToMaster();
}

void TfrmVantrell::ShowMemo() {
  const bool readable = recordView_->Record().DescriptionReadable();
  // The user is typing there: the text is the edit buffer already.
  if (browse::IsEditing(dm_.ApTable1.GetState()) && readable && DBMemo1->hasFocus()) return;
  memoUpdating_ = true;
  // The memo keeps its text (and caret) while it shows this description.
  const QString text = recordView_->MemoText();
  if (description_.Stored() != text) {
    DBMemo1->setPlainText(text);
    description_.Load(text, browse::MemoText(DBMemo1));
  }
  SetTextColour(DBMemo1, QPalette::Text, readable ? palette().color(QPalette::Text) : kMaroon);
  memoUpdating_ = false;
}

void TfrmVantrell::ShowFile() {
  // Blank and navy until the check answers; maroon with its message when
  // the file is missing or its volume does not answer.
  const bool held = statusHeld_ && statusHeldFor_ == dm_.ApTable1.RecNo() && Timer1->isActive();
  if (!held) StatusPanel[0]->setText(recordView_->FileMessage());
  // A start-up note waits for a record whose file needs no message, so that
  // the record's own state is never hidden by it.
  if (!startNotes_.isEmpty() && !recordView_->CheckPending() && recordView_->FileMessage().isEmpty()) {
    ShowStatus(QStringLiteral(" ") + startNotes_.join(QStringLiteral(" ")));
    startNotes_.clear();
  }
  SetTextColour(Panel3, QPalette::WindowText, recordView_->File() == browse::FileState::Missing ? kMaroon : kNavy);
  if (recordView_->ShowsVolumeLabel()) ShowVolumeLabel();
  ApplySwitches(recordView_->Switches());
}

void TfrmVantrell::ApplySwitches(const browse::TagSwitches& s) {
  for (QObject* o : TaggedComponents()) {
    const int tag = o->property("tag").toInt();
    if (o == RxDBGrid1) {
      if (s.dataControlsWritable) RxDBGrid1->SetReadOnly(!*s.dataControlsWritable);
      continue;
    }
    if (o == DBMemo1) {
      // A description that cannot be read is never typed over: the record
      // keeps what a repair may still recover.
      if (s.dataControlsWritable)
        DBMemo1->setReadOnly(!(*s.dataControlsWritable && recordView_->Record().DescriptionReadable()));
      continue;
    }
    if (std::optional<bool> on = s.EnabledOf(tag)) SetEnabledOf(o, *on);
    if (tag == browse::kTagRecord && s.releaseLatched)
      if (auto* b = qobject_cast<QToolButton*>(o)) b->setChecked(false);
  }
  if (s.zipEnabled) {
    sbtnZipArch->setEnabled(*s.zipEnabled);
    mnuVuZip->setEnabled(*s.zipEnabled);
  }
  if (!readOnly_.isEmpty()) ApplyReadOnly();
}

void TfrmVantrell::ApplyReadOnly() {
  for (QToolButton* b : {sbtnSave, sbtnEdit, sbtnAdd, sbtnMove, sbtnTrash, sbtnClrCRLF, sbtnRemExtraSpcs, sbtnCmbCLES}) {
    b->setEnabled(false);
    b->setToolTip(readOnly_);
  }
  for (QAction* a : {mnuRecSave, mnuRecEdit, mnuRecAdd, mnuMove, mnuRecDel, mnuClrCrLf, mnuRemExtraSpc, mnuAddCat,
                     mnuDelCat, mnuRenCat, mnuFlMove, mnuFlRename, mnuFlDelete, mnuBackup, mnuPack, mnuReindex}) {
    a->setEnabled(false);
    a->setStatusTip(QString(readOnly_).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    a->setToolTip(readOnly_);
  }
  RxDBGrid1->SetReadOnly(true);
  DBMemo1->setReadOnly(true);
}

void TfrmVantrell::DataSource1StateChange() {
  const xbase::Table& t = dm_.ApTable1;
  ApplySwitches(browse::ForState(t.GetState()));
  StatusPanel[2]->setText(readOnly_.isEmpty() ? QString::fromUtf8(xbase::StateName(t.GetState())) + " mode..."
                                               : QStringLiteral("Read-only"));
  if (!readOnly_.isEmpty()) StatusPanel[2]->setToolTip(readOnly_);
  RxDBGrid1->viewport()->update();
  RxDBGrid1->verticalHeader()->viewport()->update();
}

void TfrmVantrell::DataSource2DataChange(const QString&) {
  try {
    int64_t n = dm_.ApTable2.RecordCount();
    mnuDelCat->setEnabled(n != 1 && readOnly_.isEmpty());
    mnuAddCat->setEnabled(n != kMaxCatalogs && readOnly_.isEmpty());
  } catch (const xbase::Error& e) {
    ReportDamage(QString::fromUtf8(e.what()), command::ErrorText(e));
  }
}

// ---- commands on the records ---------------------------------------------------------

void TfrmVantrell::RxDBGrid1TitleBtnClick(int column) {
  // While editing, the title button ends the edit and goes nowhere; what
  // was typed is kept or dropped as the user says.
  if (browse::IsEditing(dm_.ApTable1.GetState()) && column == 0) {
    LeaveEdit(browse::LeaveEdit::Ask);
    return;
  }
  RunCommand([this] {
    xbase::Table& t = dm_.ApTable1;
    t.DisableControls();
    struct Resume {
      xbase::Table& t;
      ~Resume() { t.EnableControls(); }
    } resume{t};
    browse::JumpToNextInitial(t, store::kFieldTitle);
  });
}

void TfrmVantrell::GridRowChosen(int row) {
  if (row < 0) return;
  RunCommand([this, row] {
    xbase::Table& t = dm_.ApTable1;
    if (t.RecordIndex() != row) t.MoveToIndex(row);
  });
}

void TfrmVantrell::MemoEdited() {
  if (memoUpdating_) return;
  xbase::Table& t = dm_.ApTable1;
  if (!browse::IsEditing(t.GetState()) || !recordView_->Record().DescriptionReadable()) return;
  // Only what the user changed is new: the rest keeps its stored bytes.
  const QString before = description_.Stored();
  const QString after = description_.Edited(browse::MemoText(DBMemo1));
  if (after != before) RunCommand([&] { t.SetFieldByName(store::kFieldDesc, store::ToUtf8(after)); });
}

// ---- editing ---------------------------------------------------------------------------

void TfrmVantrell::sbtnEditClick() {
  RunCommand([this] {
    xbase::Table& t = dm_.ApTable1;
    if (!browse::IsEditing(t.GetState())) {
      t.Edit();
      RxDBGrid1->setFocus();
    } else if (!sbtnEdit->isChecked()) {
      t.Cancel();  // the button released: the changes go
    }
  });
  // A refused edit leaves the button up.
  if (!browse::IsEditing(dm_.ApTable1.GetState())) sbtnEdit->setChecked(false);
}

void TfrmVantrell::mnuRecEditClick() {
  sbtnEdit->setChecked(true);
  LatchClicked(sbtnEdit);
}

void TfrmVantrell::sbtnSaveClick() {
  RunCommand([this] {
    // An open cell editor's text belongs to the record.
    RxDBGrid1->CommitCellEdit();
    const browse::SaveOutcome o = browse::SaveRecord(dm_.ApTable1);
    if (o.kind == browse::SaveOutcome::Kind::Inserted) {
      SetCatalogRecordCount(CatalogRecordCount() + 1);
      SetTotalRecordCount(TotalRecordCount() + 1);
    }
    if (o.kind == browse::SaveOutcome::Kind::Edited || o.kind == browse::SaveOutcome::Kind::Inserted)
      ShowStatus(browse::SavedText(o));
  });
  Timer1->start();
}

void TfrmVantrell::FileLabel1DblClick() {
  if (dm_.ApTable1.GetState() != xbase::State::Edit) return;
  AddFilesDialog()->setWindowTitle("Select the file that will replace the current file.");
  if (AddFilesDialog()->exec() != QDialog::Accepted) return;
  RunCommand([this] { SetRecordFile(); });
  const QString path = store::FromUtf8(dm_.ApTable1.FieldByName(store::kFieldName));
  ShowStatus(" Changing to..." + path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1));
  RxDBGrid1->setFocus();
}

void TfrmVantrell::SetRecordFile() {
  xbase::Table& t = dm_.ApTable1;
  t.SetFieldByName(store::kFieldCatalog, store::ToUtf8(CurrentCatalog()));
  // The label holds one file's path, or how many files were chosen.
  const QString path = frmAddToCatalog->AddPathText();
  const int64_t size = browse::FileSizeOf(path);
  if (size < 0) return;
  // A path cut to the field would name another file: it is not stored.
  if (store::ToUtf8(path).size() > (size_t)store::kNameWidth) {
    prompts::Current().Message(this, prompts::Kind::Error,
                               "The path of this file is longer than " + QString::number(store::kNameWidth) +
                                   " bytes and cannot be stored:\n" + path);
    return;
  }
  t.SetFieldByName(store::kFieldName, store::ToUtf8(path));
  t.SetFieldByName(store::kFieldSize, store::ToUtf8(browse::FormatFileSize(size)));
  t.SetFieldByName(store::kFieldDate, store::ToUtf8(browse::FileDateText(browse::FileDateOf(path))));
}

// ---- adding, moving and deleting many records ---------------------------------------------

void TfrmVantrell::mnuRecAddClick() {
  sbtnAdd->setChecked(true);
  LatchClicked(sbtnAdd);
}

void TfrmVantrell::sbtnAddClick() {
  if (!sbtnAdd->isChecked()) return;
  // The new records move the cursor: the record being edited is saved first.
  if (!LeaveEdit(browse::LeaveEdit::Save)) {
    sbtnAdd->setChecked(false);
    return;
  }
  AddFilesDialog()->setWindowTitle("Select the file that you want to ADD. ");
  if (AddFilesDialog()->exec() == QDialog::Accepted) {
    const BatchMode mode = StartBatch(BatchMode::Add);
    bool editOn = true;
    try {
      editOn = settings_->Read(settings::kChkBxEditON);
    } catch (const SettingsError&) {
    }
    // The record added last opens for editing.
    if (editOn && mode != BatchMode::Cancelled && dm_.ApTable1.RecordCount() > 0) {
      sbtnEdit->setChecked(true);
      sbtnEditClick();
    }
  } else {
    RunCommand([this] {
      if (browse::IsEditing(dm_.ApTable1.GetState())) dm_.ApTable1.Cancel();
    });
  }
  sbtnAdd->setChecked(false);
}

void TfrmVantrell::MoveOrDelete(QToolButton* invoker) {
  if (RxDBGrid1->SelectedCount() == 0) {
    prompts::Current().Message(this, prompts::Kind::Confirmation, "No records are selected.", prompts::Cancel,
                               prompts::Cancel);
    for (QToolButton* b : {sbtnAdd, sbtnMove, sbtnTrash}) b->setChecked(false);
    return;
  }
  StartBatch(invoker == sbtnMove ? BatchMode::Move : BatchMode::Delete);
}

BatchMode TfrmVantrell::StartBatch(BatchMode mode) {
  // The batch moves the cursor: the record being edited is saved first.
  if (!LeaveEdit(browse::LeaveEdit::Save)) {
    for (QToolButton* b : {sbtnAdd, sbtnMove, sbtnTrash}) b->setChecked(false);
    return BatchMode::Cancelled;
  }
  const char* icon = mode == BatchMode::Add ? "add" : mode == BatchMode::Move ? "move" : "trash";
  TfrmMultiFiles form(*this, mode, icons::ToolIcon(icon), this);
  bool ready = true;
  if (mode == BatchMode::Add) {
    if (frmAddToCatalog->WholeTree())
      form.SetTree(frmAddToCatalog->Folder(), frmAddToCatalog->Mask());
    else
      form.SetFiles(frmAddToCatalog->Folder(), frmAddToCatalog->SelectedNames());
  } else {
    // Exactly the selected records the shown catalog holds, in its order.
    ready = RunCommand([&] {
      std::vector<uint32_t> records;
      for (const uint32_t r : RxDBGrid1->SelectedRecords()) records.push_back(r);
      QStringList titles;
      xbase::Table& t = dm_.ApTable1;
      const int title = t.FieldIndex(store::kFieldTitle);
      t.ForEachRecordOf(records, [&](const xbase::RecordRef& r) {
        titles << store::FromUtf8(std::string(r.Text(title)));
        return true;
      });
      form.SetRecords(records, titles);
      if (mode == BatchMode::Move) {
        QStringList targets;
        for (const QString& name : store::LoadCatalogList(dm_.ApTable2, 1 << 30).names)
          if (name != CurrentCatalog()) targets << name;
        form.SetMoveTargets(targets);
      }
    });
  }
  BatchMode closed = BatchMode::Cancelled;
  if (ready) {
    form.exec();
    closed = form.Mode();
  }
  RxDBGrid1->ClearSelectedRecords();
  RxDBGrid1->Reset();
  for (QToolButton* b : {sbtnAdd, sbtnMove, sbtnTrash}) b->setChecked(false);
  return closed;
}

void TfrmVantrell::mnuSelAllClick() {
  RunCommand([this] {
    xbase::Table& t = dm_.ApTable1;
    if (RxDBGrid1->MultiSelect && t.Active() && t.RecordCount() > 0) RxDBGrid1->SelectAllRecords();
  });
}

// ---- search ---------------------------------------------------------------------------------

void TfrmVantrell::sbtnFindClick() {
  // Made anew for each use and gone when closed: every search starts with
  // "File Name", an empty text and an empty grid.
  auto* form = new TfrmSearch(*this, this);
  form->exec();
}

void TfrmVantrell::ShowRecord(const QString& catalog, uint32_t recno) {
  // The tab whose text is the catalog's name, letter case counting.
  const int tabs = std::min(TabControl1->count(), (int)store::LoadCatalogList(dm_.ApTable2, 1 << 30).names.size());
  for (int i = 0; i < tabs; ++i) {
    if (TabControl1->tabText(i) != catalog) continue;
    SelectTab(i);
    break;
  }
  // That very record, not the first one that shares its title.
  RunCommand([&] {
    if (recno != 0) dm_.ApTable1.GotoBookmark(xbase::Bookmark{recno});
  });
}

void TfrmVantrell::mnuUnSelAllClick() {
  if (RxDBGrid1->MultiSelect) RxDBGrid1->ClearSelectedRecords();
}

// ---- description clean-up ----------------------------------------------------------------

void TfrmVantrell::sbtnClrCRLFClick() { CleanMemo(browse::Cleanup::LineBreaks); }
void TfrmVantrell::sbtnRemExtraSpcsClick() { CleanMemo(browse::Cleanup::ExtraSpaces); }
void TfrmVantrell::sbtnCmbCLESClick() { CleanMemo(browse::Cleanup::Both); }

void TfrmVantrell::CleanMemo(browse::Cleanup how) {
  // Only a description being edited changes; one shown in Browse stays as
  // it is stored (the shortcuts reach here in Browse too).
  if (DBMemo1->isReadOnly()) return;
  browse::CleanSelection(DBMemo1, how, [this](int from, int to) { return description_.StoredPart(from, to); });
}

// ---- leaving an edit ------------------------------------------------------------------

bool TfrmVantrell::LeaveEdit(browse::LeaveEdit how) {
  xbase::Table& t = dm_.ApTable1;
  if (!t.Active() || !browse::IsEditing(t.GetState())) return true;
  RxDBGrid1->CommitCellEdit();
  browse::LeaveOutcome o;
  if (!RunCommand([&] { o = browse::EndEdit(t, how, this); })) return false;
  if (o.saved.kind == browse::SaveOutcome::Kind::Inserted) {
    SetCatalogRecordCount(CatalogRecordCount() + 1);
    SetTotalRecordCount(TotalRecordCount() + 1);
  }
  return o.goOn;
}

// ---- errors ----------------------------------------------------------------------------

bool TfrmVantrell::RunCommand(const std::function<void()>& command) {
  return command::Run(prompts::Current(), this, {&dm_.ApTable1, &dm_.ApTable2}, command);
}

void TfrmVantrell::ReportDamage(const QString& key, const QString& text) {
  if (!key.isEmpty() && !damageLog_.FirstReport(key)) return;
  pendingDamage_.append(text);
  if (damageScheduled_) return;
  damageScheduled_ = true;
  QMetaObject::invokeMethod(this, &TfrmVantrell::ShowPendingDamage, Qt::QueuedConnection);
}

void TfrmVantrell::ShowPendingDamage() {
  // Reports that come while a box is open join this loop.
  while (!pendingDamage_.isEmpty())
    prompts::Current().Message(this, prompts::Kind::Error, pendingDamage_.takeFirst());
  damageScheduled_ = false;
}
