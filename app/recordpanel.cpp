#include "recordpanel.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>

#include "commandguard.h"
#include "datafiles.h"
#include "datagrid.h"
#include "datamodule.h"
#include "maincontext.h"
#include "mainwidgets.h"
#include "pathlabel.h"
#include "recordedit.h"
#include "recordview.h"
#include "schema.h"
#include "statuspanels.h"

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

TRecordPanel::TRecordPanel(TMainWidgets& ui, MainContext& context, TStatusPanels& status, QWidget* window,
                           std::function<void(const QString&, const QString&)> descriptionEdited)
    : QObject(window),
      ui_(ui),
      context_(context),
      status_(status),
      window_(window),
      descriptionEdited_(std::move(descriptionEdited)),
      // The file of the current record is checked on a worker; the panel
      // shows the answer when it comes.
      recordView_(new browse::TRecordView(window)),
      startNotes_(context.dm.IndexNotes) {
  connect(recordView_, &browse::TRecordView::FileAnswered, this, &TRecordPanel::ShowFile);
  connect(recordView_, &browse::TRecordView::Damaged, this, [this](const QString& text) { ReportDamage(QString(), text); });
}

bool TRecordPanel::FilePresent() const { return recordView_->FilePresent(); }
bool TRecordPanel::FileCheckPending() const { return recordView_->CheckPending(); }
QString TRecordPanel::FileFoundAt() const { return recordView_->FoundAt(); }
QString TRecordPanel::FoundAt(const QString& storedPath) const {
  return storedPath == recordView_->Record().path ? recordView_->FoundAt() : storedPath;
}
QString TRecordPanel::WriteRefusal() const { return recordView_->WriteRefusal(); }
void TRecordPanel::SetFileCheckTimeout(int ms) { recordView_->SetCheckTimeout(ms); }

void TRecordPanel::DataSource1DataChange(const QString& field) {
  try {
    // A change of one field of the record being edited only refreshes what
    // shows the fields; a new file (path) is checked as a new record is.
    const bool wholeRecord = field.isEmpty() || field.compare(store::kFieldName, Qt::CaseInsensitive) == 0;
    if (wholeRecord)
      recordView_->RecordChanged(context_.dm.ApTable1, context_.dm.Packing, RecordResolver());
    else
      recordView_->FieldChanged(context_.dm.ApTable1);
    ShowRecord(!wholeRecord);
  } catch (const xbase::Error& e) {
    ReportDamage(QString::fromUtf8(e.what()), command::ErrorText(e));
  }
}

browse::PathResolver TRecordPanel::RecordResolver() {
  xbase::Table& t = context_.dm.ApTable1;
  if (!t.Active() || t.IsEmpty()) return {};
  try {
    const QString catalog = store::FromUtf8(t.FieldByName(store::kFieldCatalog)).trimmed();
    return browse::ResolverOver(context_.dm.Volumes.Rows(catalog), context_.dm.Volumes.MountPointsOf());
  } catch (const std::exception&) {
    // A volume table that cannot be read (a read-only catalogue made before
    // it existed): the paths are taken as stored, as they always were.
    return {};
  }
}

void TRecordPanel::ShowRecord(bool fieldOnly) {
  ui_.createdLine->setText(recordView_->Record().date);
  ui_.sizeLine->setText(recordView_->SizeLine());
  ShowMemo();
  if (fieldOnly) return;
  ui_.pathLabel->setPath(recordView_->Record().path);
  ShowFile();
  ui_.recordGrid->SyncToMaster();
}

void TRecordPanel::ShowMemo() {
  QPlainTextEdit* memo = ui_.description;
  const bool readable = recordView_->Record().DescriptionReadable();
  // The user is typing there: the text is the edit buffer already.
  if (browse::IsEditing(context_.dm.ApTable1.GetState()) && readable && memo->hasFocus()) return;
  memoUpdating_ = true;
  // The memo keeps its text (and caret) while it shows this description.
  const QString text = recordView_->MemoText();
  if (description_.Stored() != text) {
    memo->setPlainText(text);
    description_.Load(text, browse::MemoText(memo));
  }
  SetTextColour(memo, QPalette::Text, readable ? window_->palette().color(QPalette::Text) : kMaroon);
  memoUpdating_ = false;
}

void TRecordPanel::MemoEdited() {
  if (memoUpdating_) return;
  if (!browse::IsEditing(context_.dm.ApTable1.GetState()) || !recordView_->Record().DescriptionReadable()) return;
  // Only what the user changed is new: the rest keeps its stored bytes.
  const QString before = description_.Stored();
  const QString after = description_.Edited(browse::MemoText(ui_.description));
  descriptionEdited_(before, after);
}

void TRecordPanel::ShowFile() {
  // Blank and navy until the check answers; maroon with its message when
  // the file is missing or its volume does not answer.
  status_.ShowFileMessage(recordView_->FileMessage());
  // A start-up note waits for a record whose file needs no message, so that
  // the record's own state is never hidden by it.
  if (!startNotes_.isEmpty() && !recordView_->CheckPending() && recordView_->FileMessage().isEmpty()) {
    status_.ShowStatus(QStringLiteral(" ") + startNotes_.join(QStringLiteral(" ")));
    startNotes_.clear();
  }
  SetTextColour(ui_.fileLines, QPalette::WindowText,
                recordView_->File() == browse::FileState::Missing ? kMaroon : kNavy);
  if (recordView_->ShowsVolumeLabel()) status_.SetPanel(1, recordView_->VolumeLabel());
  // A disk mounted at another place: the path shown is the record's, the
  // hint tells where the file is now.
  const QString foundAt = recordView_->FoundAt();
  ui_.pathLabel->setToolTip(foundAt != recordView_->Record().path ? "Now at " + foundAt : QString());
  ApplySwitches(recordView_->Switches());
}

void TRecordPanel::ApplySwitches(const browse::TagSwitches& s) {
  for (QObject* o : ui_.TaggedComponents()) {
    const int tag = o->property(TMainWidgets::kTag).toInt();
    if (o == ui_.recordGrid) {
      if (s.dataControlsWritable) ui_.recordGrid->SetReadOnly(!*s.dataControlsWritable);
      continue;
    }
    if (o == ui_.description) {
      // A description that cannot be read is never typed over: the record
      // keeps what a repair may still recover.
      if (s.dataControlsWritable)
        ui_.description->setReadOnly(!(*s.dataControlsWritable && recordView_->Record().DescriptionReadable()));
      continue;
    }
    if (std::optional<bool> on = s.EnabledOf(tag)) SetEnabledOf(o, *on);
    if (tag == browse::kTagRecord && s.releaseLatched)
      if (auto* b = qobject_cast<QToolButton*>(o)) b->setChecked(false);
  }
  if (s.zipEnabled) {
    ui_.zipButton->setEnabled(*s.zipEnabled);
    ui_.zipAction->setEnabled(*s.zipEnabled);
  }
  if (!context_.readOnly.isEmpty()) ApplyReadOnly();
}

void TRecordPanel::ApplyReadOnly() {
  const QString& why = context_.readOnly;
  for (QToolButton* b : {ui_.saveButton, ui_.editButton, ui_.addButton, ui_.moveButton, ui_.deleteButton,
                         ui_.lineBreaksButton, ui_.spacesButton, ui_.combinedCleanButton}) {
    b->setEnabled(false);
    b->setToolTip(why);
  }
  for (QAction* a : {ui_.saveAction, ui_.editAction, ui_.addAction, ui_.moveAction, ui_.deleteAction,
                     ui_.lineBreaksAction, ui_.spacesAction, ui_.addCatalogAction, ui_.deleteCatalogAction,
                     ui_.renameCatalogAction, ui_.moveFileAction, ui_.renameFileAction, ui_.deleteFileAction,
                     ui_.backupAction, ui_.packAction, ui_.reindexAction}) {
    a->setEnabled(false);
    a->setStatusTip(QString(why).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    a->setToolTip(why);
  }
  ui_.recordGrid->SetReadOnly(true);
  ui_.description->setReadOnly(true);
}

void TRecordPanel::DataSource1StateChange() {
  const xbase::Table& t = context_.dm.ApTable1;
  ApplySwitches(browse::ForState(t.GetState()));
  status_.SetPanel(2, context_.readOnly.isEmpty()
                          ? QString::fromUtf8(xbase::StateName(t.GetState())) + " mode..."
                          : QStringLiteral("Read-only"));
  if (!context_.readOnly.isEmpty()) status_.SetPanelHint(2, context_.readOnly);
  ui_.recordGrid->viewport()->update();
  ui_.recordGrid->verticalHeader()->viewport()->update();
}

void TRecordPanel::ReportDamage(const QString& key, const QString& text) {
  if (!key.isEmpty() && !damageLog_.FirstReport(key)) return;
  pendingDamage_.append(text);
  if (damageScheduled_) return;
  damageScheduled_ = true;
  QMetaObject::invokeMethod(this, &TRecordPanel::ShowPendingDamage, Qt::QueuedConnection);
}

void TRecordPanel::ShowPendingDamage() {
  // Reports that come while a box is open join this loop.
  while (!pendingDamage_.isEmpty()) context_.Tell(prompts::Kind::Error, pendingDamage_.takeFirst());
  damageScheduled_ = false;
}
