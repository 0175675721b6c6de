#include "mainviews.h"

#include <QApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>
#include <QMainWindow>

#include "addtocatalog.h"
#include "datagrid.h"
#include "icons.h"
#include "mainwidgets.h"
#include "recordpanel.h"

namespace {

// Keeps the window open while a pass runs: a close asked for meanwhile
// (the window manager's close box) would pull the window from under it.
class HoldOpen : public QObject {
 public:
  explicit HoldOpen(QWidget* window) : window_(window) { window_->installEventFilter(this); }
  ~HoldOpen() override { window_->removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    return false;
  }

 private:
  QWidget* window_;
};

}  // namespace

// ---- the catalog tabs ---------------------------------------------------------------------

TCatalogTabsWidgets::TCatalogTabsWidgets(TMainWidgets& ui, QWidget* window, std::function<void(QWidget*)> flat)
    : ui_(ui), window_(window), flat_(std::move(flat)) {}

QStringList TCatalogTabsWidgets::TabNames() const {
  QStringList names;
  for (int i = 0; i < ui_.catalogTabs->count(); ++i) names << ui_.catalogTabs->tabText(i);
  return names;
}

int TCatalogTabsWidgets::CurrentTab() const { return ui_.catalogTabs->currentIndex(); }

void TCatalogTabsWidgets::SetTabs(const QStringList& names) {
  QSignalBlocker quiet(ui_.catalogTabs);
  while (ui_.catalogTabs->count() > 0) ui_.catalogTabs->removeTab(0);
  for (const QString& name : names) ui_.catalogTabs->addTab(name);
  ui_.catalogTabs->setCurrentIndex(0);
}

void TCatalogTabsWidgets::SetCurrentTab(int index) {
  QSignalBlocker quiet(ui_.catalogTabs);
  ui_.catalogTabs->setCurrentIndex(index);
}

void TCatalogTabsWidgets::ResetRecords() { ui_.recordGrid->Reset(); }
void TCatalogTabsWidgets::FocusRecords() { ui_.recordGrid->setFocus(); }

void TCatalogTabsWidgets::EnableCatalogCommand(browse::CatalogCommand command, bool on) {
  (command == browse::CatalogCommand::Add      ? ui_.addCatalogAction
   : command == browse::CatalogCommand::Delete ? ui_.deleteCatalogAction
                                               : ui_.renameCatalogAction)
      ->setEnabled(on);
}

void TCatalogTabsWidgets::RunCatalogForm(browse::CatalogCommand command, const QString& current,
                                         const QStringList& names, int recordCount,
                                         const std::function<bool(const QString&)>& perform) {
  browse::TfrmCatalog form(window_, command, current, names, perform, recordCount);
  flat_(&form);
  form.exec();
}

// ---- the records --------------------------------------------------------------------------

TRecordWidgets::TRecordWidgets(TMainWidgets& ui, QWidget* window, MainWindowServices& services,
                               const TRecordPanel& panel)
    : ui_(ui), window_(window), services_(services), panel_(panel) {}

QToolButton* TRecordWidgets::Button(Latch button) const {
  switch (button) {
    case Latch::Edit:
      return ui_.editButton;
    case Latch::Add:
      return ui_.addButton;
    case Latch::Move:
      return ui_.moveButton;
    case Latch::Delete:
      break;
  }
  return ui_.deleteButton;
}

bool TRecordWidgets::Latched(Latch button) const { return Button(button)->isChecked(); }
void TRecordWidgets::SetLatched(Latch button, bool down) { Button(button)->setChecked(down); }
void TRecordWidgets::CommitCellEdit() { ui_.recordGrid->CommitCellEdit(); }
void TRecordWidgets::FocusRecords() { ui_.recordGrid->setFocus(); }
void TRecordWidgets::ResetRecords() { ui_.recordGrid->Reset(); }
int TRecordWidgets::SelectedCount() const { return ui_.recordGrid->SelectedCount(); }

std::vector<uint32_t> TRecordWidgets::SelectedRecords() const {
  std::vector<uint32_t> records;
  for (const uint32_t r : ui_.recordGrid->SelectedRecords()) records.push_back(r);
  return records;
}

void TRecordWidgets::ClearSelection() { ui_.recordGrid->ClearSelectedRecords(); }

void TRecordWidgets::SelectAllRecords() {
  if (ui_.recordGrid->MultiSelect) ui_.recordGrid->SelectAllRecords();
}

QString TRecordWidgets::WriteRefusal() const { return panel_.WriteRefusal(); }
bool TRecordWidgets::DescriptionReadOnly() const { return ui_.description->isReadOnly(); }

void TRecordWidgets::CleanDescription(browse::Cleanup how) {
  browse::CleanSelection(ui_.description, how, [this](int from, int to) { return panel_.StoredPart(from, to); });
}

void TRecordWidgets::InsertIntoDescription(const QString& text) {
  ui_.description->setFocus();
  ui_.description->insertPlainText(text);
}

TfrmAddToCatalog* TRecordWidgets::AddFilesDialog() {
  if (!addFiles_)
    addFiles_ = new TfrmAddToCatalog(services_, [this] {
      ui_.editButton->setChecked(false);
      ui_.addButton->setChecked(false);
    }, window_);
  return addFiles_;
}

bool TRecordWidgets::ChooseFiles(const QString& title) {
  AddFilesDialog()->setWindowTitle(title);
  return AddFilesDialog()->exec() == QDialog::Accepted;
}

QString TRecordWidgets::ChosenPath() const { return addFiles_ ? addFiles_->AddPathText() : QString(); }

BatchMode TRecordWidgets::RunBatch(BatchMode mode, const BatchRecords& batch) {
  const char* icon = mode == BatchMode::Add ? "add" : mode == BatchMode::Move ? "move" : "trash";
  TfrmMultiFiles form(services_, mode, icons::ToolIcon(icon), window_);
  if (mode == BatchMode::Add) {
    TfrmAddToCatalog* chosen = AddFilesDialog();
    if (chosen->WholeTree())
      form.SetTree(chosen->Folder(), chosen->Mask());
    else
      form.SetFiles(chosen->Folder(), chosen->SelectedNames());
  } else {
    form.SetRecords(batch.records, batch.titles);
    if (mode == BatchMode::Move) form.SetMoveTargets(batch.moveTargets);
  }
  form.exec();
  return form.Mode();
}

// ---- database passes ----------------------------------------------------------------------

TMaintenanceWidgets::TMaintenanceWidgets(TMainWidgets& ui, QWidget* window) : ui_(ui), window_(window) {}

TMaintenanceWidgets::~TMaintenanceWidgets() = default;

void TMaintenanceWidgets::Repaint() { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void TMaintenanceWidgets::SetBusy(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void TMaintenanceWidgets::BeginPass() {
  ui_.recordGrid->Model()->ReleaseCursor();
  ui_.recordGrid->setUpdatesEnabled(false);
  holdOpen_ = std::make_unique<HoldOpen>(window_);
  QStatusBar* status = static_cast<QMainWindow*>(window_)->statusBar();
  bar_ = new QProgressBar(status);
  bar_->setObjectName("MaintenanceProgress");
  bar_->setRange(0, 100);
  bar_->setMaximumWidth(160);
  bar_->setTextVisible(false);
  status->insertWidget(1, bar_);
  bar_->show();
  SetBusy(true);
}

void TMaintenanceWidgets::ShowProgress(double done) {
  if (bar_) bar_->setValue(int(done * 100));
  Repaint();
}

void TMaintenanceWidgets::EndPass() {
  SetBusy(false);
  delete bar_;
  ui_.recordGrid->setUpdatesEnabled(true);
}

void TMaintenanceWidgets::ResetRecords() {
  ui_.recordGrid->Reset();
  // The pass is over: the window may close again.
  holdOpen_.reset();
}

void TMaintenanceWidgets::RecordsRenumbered() { ui_.recordGrid->RecordsRenumbered(); }
