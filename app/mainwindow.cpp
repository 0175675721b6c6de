#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QToolButton>

#include <stdexcept>

#include "about.h"
#include "catalogtabs.h"
#include "commandguard.h"
#include "datafiles.h"
#include "datagrid.h"
#include "datamodule.h"
#include "diskcommands.h"
#include "descriptioncleanup.h"
#include "filemenu.h"
#include "folder.h"
#include "helpwindow.h"
#include "icons.h"
#include "maincontext.h"
#include "mainservices.h"
#include "maintenancecommands.h"
#include "mainviews.h"
#include "pathlabel.h"
#include "recordcommands.h"
#include "recordpanel.h"
#include "reportcommands.h"
#include "settings.h"
#include "statuspanels.h"

namespace {

constexpr const char* kHelp = TMainWidgets::kHelp;

// The text of a table error for a message: the engine names the file. A
// damaged table is never put right by the window itself; the message names
// the command that tells what is wrong and which command repairs it.
QString OpenFailure(const char* what, const QString& path, const std::exception& e) {
  QString text = QString("The %1 \"%2\" cannot be opened: %3").arg(what, QDir::toNativeSeparators(path),
                                                                    QString::fromUtf8(e.what()));
  const auto* error = dynamic_cast<const xbase::Error*>(&e);
  if (error != nullptr && error->code() == xbase::ErrorCode::Corrupt)
    text += QString("\nTo see what is wrong and what puts it right, run: vantrell-db check \"%1\"")
                .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
  return text;
}

}  // namespace

// ---- construction ----------------------------------------------------------------

TfrmVantrell::TfrmVantrell(TDataModule1& dm, const QString& dataFolder, QWidget* parent)
    : QMainWindow(parent), dm_(dm), dataFolder_(dataFolder), settings_(std::make_unique<TSettings>()) {
  setObjectName("frmVantrell");
  setWindowTitle("Vantrell");
  setWindowIcon(icons::AppIcon());
  setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) &
                 ~Qt::WindowMaximizeButtonHint);
  QFont f("Arial", 9);
  setFont(f);
  setProperty(kHelp, 1300);
  resize(591, 565);
  ui_.Build(this);

  // The controllers and the views they talk to.
  status_ = std::make_unique<TStatusPanels>(ui_.statusPanels, dm_, this);
  context_ = std::make_unique<MainContext>(dm_, dataFolder_, *settings_, *status_, this);
  const auto flat = [this](QWidget* window) { ApplyFlatButtonsTo(window); };
  // While the compare with the disk has the tables on its worker, the grid
  // (which reads rows as it paints) is held; afterwards it reads afresh.
  disks::TableDisks::Hooks diskHooks;
  diskHooks.readOnly = [this] { return context_->readOnly; };
  diskHooks.holdViews = [this](bool held) {
    if (held) ui_.recordGrid->Model()->ReleaseCursor();
    ui_.recordGrid->setUpdatesEnabled(!held);
  };
  diskHooks.recordsChanged = [this] { ui_.recordGrid->Reset(); };
  services_ = std::make_unique<TMainServices>(this, *context_, flat, std::move(diskHooks));
  panel_ = new TRecordPanel(ui_, *context_, *status_, this, [this](const QString& before, const QString& after) {
    records_->DescriptionEdited(before, after);
  });
  context_->reportDamage = [this](const QString& key, const QString& text) { panel_->ReportDamage(key, text); };
  options_ = std::make_unique<TWindowOptions>(*settings_, static_cast<OptionsView&>(*this));
  tabsView_ = std::make_unique<TCatalogTabsWidgets>(ui_, this, flat);
  recordsView_ = std::make_unique<TRecordWidgets>(ui_, this, *services_, *panel_);
  maintenanceView_ = std::make_unique<TMaintenanceWidgets>(ui_, this);
  records_ = std::make_unique<TRecordCommands>(*context_, *recordsView_, [this] { return tabs_->CurrentCatalog(); });
  tabs_ = std::make_unique<TCatalogTabs>(*context_, *tabsView_,
                                         [this](browse::LeaveEdit how) { return records_->LeaveEdit(how); });
  services_->Bind(*tabs_, *records_, *panel_);
  maintenance_ = std::make_unique<TDatabaseMaintenance>(*context_, *maintenanceView_, *tabs_, *records_);
  reports_ = std::make_unique<TReportCommands>(*context_, *tabs_);
  fileMenu_ = std::make_unique<TFileMenu>(*context_, *services_, *recordsView_, *records_,
                                          [this] { return panel_->FileFoundAt(); });
  diskCommands_ = std::make_unique<TDiskCommands>(*context_, *services_, *records_);

  qApp->installEventFilter(this);
  ConnectCommands();

  // FormCreate: open the records and the catalog names.
  OpenTables();
  // A catalogue on a read-only medium or share is browsed, searched and
  // reported; what would write is switched off with a hint.
  {
    bool writable = store::CanWriteInUtf8(store::ToUtf8(dataFolder_));
    for (const char* file : {store::kRecordsTable, store::kRecordsIndex, store::kCatalogTable, store::kCatalogIndex})
      writable = writable && QFileInfo(store::DataFilePath(dataFolder_, file)).isWritable();
    if (!writable)
      context_->readOnly = "The database in\n" + QDir::toNativeSeparators(dataFolder_) +
                           "\nis read-only (its folder or files cannot be written):\n"
                           "it can be browsed, searched and reported, not changed.";
  }
  LoadSettings();
  context_->Run([this] { tabs_->LoadCatalogTabs(); });
  tabs_->PlaceRememberedTab();
  ApplyFlatButtons();
  panel_->DataSource1StateChange();
  panel_->DataSource1DataChange(QString());
  tabs_->DataSource2DataChange();
}

TfrmVantrell::~TfrmVantrell() {
  qApp->removeEventFilter(this);
  // The tables outlive the window: no notification may reach it any more.
  disconnect(&dm_.DataSource1, nullptr, this, nullptr);
  disconnect(&dm_.DataSource2, nullptr, this, nullptr);
  disconnect(&dm_.DataSource1, nullptr, panel_, nullptr);
  disconnect(&dm_.Counts, nullptr, this, nullptr);
  // The controllers go before the widgets: nothing a widget tells while it
  // is taken down may reach them.
  for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
  delete panel_;
}

void TfrmVantrell::OpenTables() {
  try {
    dm_.ApTable1.Open();
  } catch (const std::exception& e) {
    throw std::runtime_error(
        OpenFailure("records table", store::DataFilePath(dataFolder_, store::kRecordsTable), e).toStdString());
  }
  try {
    dm_.ApTable2.Open();
  } catch (const std::exception& e) {
    throw std::runtime_error(
        OpenFailure("catalog table", store::DataFilePath(dataFolder_, store::kCatalogTable), e).toStdString());
  }
  ui_.recordGrid->SetDataSet(&dm_.ApTable1, {{QString("FLTITLE"), QString("File Title")}});
}

MainWindowServices& TfrmVantrell::Services() { return *services_; }

QString TfrmVantrell::StatusText(int panel) const { return status_->Text(panel); }

// ---- connections ----------------------------------------------------------------------

void TfrmVantrell::ConnectCommands() {
  const TMainWidgets& u = ui_;
  // The window's own commands.
  connect(u.helpButton, &QToolButton::clicked, this, &TfrmVantrell::mnuContentsClick);
  connect(u.exitButton, &QToolButton::clicked, this, &TfrmVantrell::sbtnExitClick);
  connect(u.exitAction, &QAction::triggered, this, &TfrmVantrell::sbtnExitClick);
  connect(u.contentsAction, &QAction::triggered, this, &TfrmVantrell::mnuContentsClick);
  connect(u.aboutAction, &QAction::triggered, this, &TfrmVantrell::mnuAboutClick);
  connect(u.trayOpenAction, &QAction::triggered, this, &TfrmVantrell::popmnuOpenClick);
  connect(u.trayCloseAction, &QAction::triggered, this, &TfrmVantrell::popmnuCloseClick);
  u.exitButton->installEventFilter(this);  // its hint follows the tray option
  // F1 over an open menu shows the help of the highlighted item.
  for (QMenu* m : u.menus) m->installEventFilter(this);
  u.recordGrid->installEventFilter(this);  // the column follows the grid's width

  // Options.
  TWindowOptions* o = options_.get();
  connect(u.hintsAction, &QAction::triggered, this, [o](bool on) { o->mnuHintsClick(on); });
  connect(u.combinedCleanAction, &QAction::triggered, this, [o](bool on) { o->mnuCmbCrLfExtrSpcClick(on); });
  connect(u.keepOnTopAction, &QAction::triggered, this, [o](bool on) { o->mnuKeepOnTopClick(on); });
  connect(u.keepPositionAction, &QAction::triggered, this, [o](bool on) { o->mnuKeepPosClick(on); });
  connect(u.trayIconAction, &QAction::triggered, this, [o](bool on) { o->mnuTrayIconClick(on); });
  connect(u.flatButtonsAction, &QAction::triggered, this, [o](bool on) { o->mnuFlatBtnsClick(on); });

  // Reports.
  TReportCommands* r = reports_.get();
  connect(u.catalogReportButton, &QToolButton::clicked, this, [r] { r->sbtnCatRptClick(); });
  connect(u.catalogReportAction, &QAction::triggered, this, [r] { r->sbtnCatRptClick(); });
  connect(u.recordReportButton, &QToolButton::clicked, this, [r] { r->sbtnRecRptClick(); });
  connect(u.recordReportAction, &QAction::triggered, this, [r] { r->sbtnRecRptClick(); });
  connect(u.fullReportAction, &QAction::triggered, this, [r](bool on) { r->mnuFullClick(on); });
  connect(u.shadedReportAction, &QAction::triggered, this, [r](bool on) { r->mnuShadedClick(on); });
  connect(u.boxReportAction, &QAction::triggered, this, [r](bool on) { r->mnuHdrFtrBoxClick(on); });
  connect(u.binderMarginAction, &QAction::triggered, this, [r](bool on) { r->mnuLftMrgnClick(on); });

  // Options > Database.
  TDatabaseMaintenance* m = maintenance_.get();
  connect(u.backupAction, &QAction::triggered, this, [m] { m->mnuBackupClick(); });
  connect(u.packAction, &QAction::triggered, this, [m] { m->mnuPackClick(); });
  connect(u.reindexAction, &QAction::triggered, this, [m] { m->mnuReindexClick(); });

  // The File menu, search and the zip window.
  TFileMenu* f = fileMenu_.get();
  using fileops::Operation;
  for (const auto& [action, op] : {std::pair{u.copyFileAction, Operation::Copy}, std::pair{u.moveFileAction, Operation::Move},
                                   std::pair{u.renameFileAction, Operation::Rename},
                                   std::pair{u.deleteFileAction, Operation::Delete},
                                   std::pair{u.createFolderAction, Operation::CreateFolder}})
    connect(action, &QAction::triggered, this, [f, op = op] { f->mnuFileOpsClick(op); });
  connect(u.launchAction, &QAction::triggered, this, [f] { f->sbtnRunAppClick(); });
  connect(u.launchButton, &QToolButton::clicked, this, [f] { f->sbtnRunAppClick(); });
  connect(u.findButton, &QToolButton::clicked, this, [f] { f->sbtnFindClick(); });
  connect(u.searchAction, &QAction::triggered, this, [f] { f->sbtnFindClick(); });
  connect(u.zipButton, &QToolButton::clicked, this, [f] { f->sbtnZipArchClick(); });
  connect(u.zipAction, &QAction::triggered, this, [f] { f->sbtnZipArchClick(); });

  // The catalog tabs and the Catalog menu.
  TCatalogTabs* t = tabs_.get();
  connect(u.catalogTabs, &QTabBar::currentChanged, this, [t](int) { t->TabControl1Change(); });
  connect(u.addCatalogAction, &QAction::triggered, this, [t] { t->mnuAddCatClick(); });
  connect(u.deleteCatalogAction, &QAction::triggered, this, [t] { t->mnuDelCatClick(); });
  TDiskCommands* d = diskCommands_.get();
  connect(u.volumesAction, &QAction::triggered, this, [d] { d->mnuVolumesClick(); });
  connect(u.compareDiskAction, &QAction::triggered, this, [d] { d->mnuCompareDiskClick(); });
  connect(u.renameCatalogAction, &QAction::triggered, this, [t] { t->mnuRenCatClick(); });
  connect(u.defaultCatalogAction, &QAction::triggered, this, [t] { t->mnuSetDefCatClick(); });
  // Ctrl+PgUp and Ctrl+PgDn go to the catalog tab before and after, from
  // any control of the window (Ctrl+Tab is a clean-up key here).
  for (const auto& [key, step] : {std::pair{Qt::Key_PageUp, -1}, std::pair{Qt::Key_PageDown, 1}}) {
    auto* tabKey = new QShortcut(QKeySequence(Qt::CTRL | key), this);
    tabKey->setContext(Qt::WindowShortcut);
    connect(tabKey, &QShortcut::activated, this, [t, step = step] { t->StepTab(step); });
  }
  connect(&dm_.DataSource2, &TDataSource::DataChange, this, [t] { t->DataSource2DataChange(); });

  ConnectRecordCommands();
}

void TfrmVantrell::ConnectRecordCommands() {
  const TMainWidgets& u = ui_;
  TRecordCommands* c = records_.get();
  for (const auto& [button, latch] : {std::pair{u.editButton, Latch::Edit}, std::pair{u.addButton, Latch::Add},
                                      std::pair{u.moveButton, Latch::Move}, std::pair{u.deleteButton, Latch::Delete}})
    connect(button, &QToolButton::clicked, this, [c, latch = latch] { c->LatchClicked(latch); });
  connect(u.editAction, &QAction::triggered, this, [c] { c->mnuRecEditClick(); });
  connect(u.addAction, &QAction::triggered, this, [c] { c->mnuRecAddClick(); });
  connect(u.moveAction, &QAction::triggered, this, [c] { c->mnuMoveClick(); });
  connect(u.deleteAction, &QAction::triggered, this, [c] { c->mnuRecDelClick(); });
  connect(u.saveAction, &QAction::triggered, this, [c] { c->sbtnSaveClick(); });
  connect(u.saveButton, &QToolButton::clicked, this, [c] { c->sbtnSaveClick(); });
  connect(u.selectAllAction, &QAction::triggered, this, [c] { c->mnuSelAllClick(); });
  connect(u.unselectAllAction, &QAction::triggered, this, [c] { c->mnuUnSelAllClick(); });
  connect(u.lineBreaksAction, &QAction::triggered, this, [c] { c->sbtnClrCRLFClick(); });
  connect(u.lineBreaksButton, &QToolButton::clicked, this, [c] { c->sbtnClrCRLFClick(); });
  connect(u.spacesAction, &QAction::triggered, this, [c] { c->sbtnRemExtraSpcsClick(); });
  connect(u.spacesButton, &QToolButton::clicked, this, [c] { c->sbtnRemExtraSpcsClick(); });
  connect(u.combinedCleanButton, &QToolButton::clicked, this, [c] { c->sbtnCmbCLESClick(); });
  connect(u.pathLabel, &TFileLabel::doubleClicked, this, [c] { c->FileLabel1DblClick(); });
  connect(u.recordGrid, &TRxDBGrid::TitleBtnClick, this, [c](int column) { c->RxDBGrid1TitleBtnClick(column); });
  connect(u.recordGrid, &TRxDBGrid::CurrentRowChosen, this, [c](int row) { c->GridRowChosen(row); });
  // Ctrl+Tab and Ctrl+Space clean the selection; Ctrl+C copies it cleaned.
  TRecordPanel* p = panel_;
  new browse::MemoKeys(u.description, [c](browse::Cleanup how) { c->CleanDescription(how); },
                       [p](int from, int to) { return p->StoredPart(from, to); });

  // What shows the record: the record panel, the grid and the counts.
  connect(u.description, &QPlainTextEdit::textChanged, p, &TRecordPanel::MemoEdited);
  // A row the grid cannot read is reported like a damaged record; the box
  // says it is the list that could not be read (a save just told done was
  // done, whatever the list meets afterwards).
  connect(u.recordGrid->Model(), &TRecordGridModel::ReadError, p, [p](const QString& message) {
    p->ReportDamage(message, "The list of records could not be read: " + command::ErrorText(message));
  });
  connect(u.recordGrid->Model(), &TRecordGridModel::WriteRefused, p,
          [p](const QString& message) { p->ReportDamage(QString(), command::ErrorText(message)); });
  connect(&dm_.DataSource1, &TDataSource::DataChange, p, &TRecordPanel::DataSource1DataChange);
  connect(&dm_.DataSource1, &TDataSource::StateChange, p, &TRecordPanel::DataSource1StateChange);
  u.catalogCount->setText(QString::number(dm_.Counts.Catalog()));
  u.totalCount->setText(QString::number(dm_.Counts.Total()));
  connect(&dm_.Counts, &RecordCounts::CatalogChanged, this,
          [label = u.catalogCount](int n) { label->setText(QString::number(n)); });
  connect(&dm_.Counts, &RecordCounts::TotalChanged, this,
          [label = u.totalCount](int n) { label->setText(QString::number(n)); });
}

// ---- settings ------------------------------------------------------------------------

void TfrmVantrell::LoadSettings() {
  TSettings& s = *settings_;
  options_->Load();
  reports_->LoadOptions();
  ui_.hintsAction->setChecked(options_->Hints());
  ui_.combinedCleanAction->setChecked(options_->Combined());
  ui_.fullReportAction->setChecked(reports_->Options().full);
  ui_.boxReportAction->setChecked(reports_->Options().box);
  ui_.shadedReportAction->setChecked(reports_->Options().shaded);
  ui_.binderMarginAction->setChecked(reports_->Options().binder);
  ui_.keepOnTopAction->setChecked(options_->KeepOnTop());
  ui_.flatButtonsAction->setChecked(options_->FlatButtons());
  ui_.keepPositionAction->setChecked(options_->KeepPosition());
  if (options_->KeepPosition()) {
    int top = s.Read(settings::kTop);
    int left = s.Read(settings::kLeft);
    int height = s.Read(settings::kHeight);
    int width = s.Read(settings::kWidth);
    // A rectangle from another screen layout must still leave the window
    // reachable: keep at least its title bar on a screen.
    QRect wanted(left, top, std::max(width, 300), std::max(height, 250));
    QScreen* screen = QGuiApplication::screenAt(wanted.topLeft() + QPoint(40, 10));
    if (!screen) screen = QGuiApplication::primaryScreen();
    QRect avail = screen ? screen->availableGeometry() : wanted;
    if (!avail.intersects(wanted)) wanted.moveTopLeft(avail.topLeft() + QPoint(10, 10));
    move(wanted.topLeft());
    resize(wanted.size());
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    // Centred in the screen's free area and no larger than it, so that the
    // title bar stays on the screen when it is small or highly scaled.
    const QRect avail = screen->availableGeometry();
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    resize(std::min(width(), avail.width()), std::min(height(), avail.height() - titleBar));
    move(avail.x() + std::max(0, (avail.width() - width()) / 2), avail.y() + std::max(0, (avail.height() - height()) / 2));
  }
  int grid = s.Read(settings::kGridHeight);
  ui_.splitter->setSizes({std::max(grid, 20), std::max(height() - grid, 40)});
  ui_.recordGrid->setFocus();
  ui_.trayIconAction->setChecked(options_->TrayIcon());
  if (options_->TrayIcon() && QSystemTrayIcon::isSystemTrayAvailable()) {
    ui_.trayIcon->show();
    startInTray_ = true;
  }
}

void TfrmVantrell::PlaceCombinedButton(bool combined) {
  ui_.combinedCleanButton->setVisible(combined);
  ui_.lineBreaksButton->setVisible(!combined);
  ui_.spacesButton->setVisible(!combined);
}

void TfrmVantrell::SetKeepOnTop(bool on) {
  bool visible = isVisible();
  QPoint at = pos();
  // Changing the flag hides the window: it is shown again where it was,
  // active, with the keyboard focus back on the control that had it.
  QPointer<QWidget> focused = focusWidget();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) {
    move(at);
    show();
    // The window may become active only later: the control gets the focus
    // back then (changeEvent).
    refocus_ = focused;
    activateWindow();
    if (focused) focused->setFocus(Qt::OtherFocusReason);
  }
}

void TfrmVantrell::ApplyFlatButtonsTo(QWidget* window) {
  const bool flat = options_ && options_->FlatButtons();
  for (QToolButton* b : window->findChildren<QToolButton*>()) b->setAutoRaise(flat);
}

// ---- showing and closing -------------------------------------------------------------

void TfrmVantrell::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // FormShow: the default catalog, unless the window comes back from the tray.
  if (!e->spontaneous()) tabs_->ShowStartTab(options_->TrayIcon());
}

void TfrmVantrell::closeEvent(QCloseEvent* e) {
  if (options_->TrayIcon() && !quitting_ && QSystemTrayIcon::isSystemTrayAvailable()) {
    e->ignore();
    tabs_->RememberTab();
    ui_.trayIcon->show();
    hide();
    return;
  }
  // Where no notification area exists, hiding would leave the window where
  // nobody can reach it: the close goes ahead.
  // A record being edited is saved as the closing table would save it, the
  // title cell being typed in with it.
  records_->LeaveEdit(browse::LeaveEdit::Save);
  // The position of the frame and the size of the window, as move() and
  // resize() take them at the next start, so the window does not drift.
  settings_->Write(settings::kTop, pos().y());
  settings_->Write(settings::kLeft, pos().x());
  settings_->Write(settings::kHeight, height());
  settings_->Write(settings::kWidth, width());
  settings_->Write(settings::kGridHeight, ui_.recordGrid->height());
  ui_.trayIcon->hide();
  e->accept();
}

void TfrmVantrell::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  // The only column fills the grid but for the indicator and scroll bar.
  TRxDBGrid* grid = ui_.recordGrid;
  if (grid && grid->model() && grid->model()->columnCount() > 0)
    grid->setColumnWidth(0, std::max(40, grid->width() - 31));
}

void TfrmVantrell::sbtnExitClick() { close(); }

void TfrmVantrell::popmnuOpenClick() {
  show();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void TfrmVantrell::popmnuCloseClick() {
  ui_.trayIcon->hide();
  QCoreApplication::processEvents();
  quitting_ = true;
  close();
}

// ---- help -----------------------------------------------------------------------------------

void TfrmVantrell::ShowHelpTopic(int topic) {
  // The help window has no parent: above a main window kept on top it
  // must be kept on top as well.
  THelpWindow* help = THelpWindow::Instance();
  const bool onTop = options_->KeepOnTop();
  if (help->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop) help->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  help->ShowTopic(topic);
}

void TfrmVantrell::mnuContentsClick() { ShowHelpTopic(1000); }

void TfrmVantrell::mnuAboutClick() {
  TfrmAbout about(dataFolder_, this);
  ApplyFlatButtonsTo(&about);
  about.exec();
}

int TfrmVantrell::HelpTopicOf(QObject* o) const {
  for (; o; o = o->parent()) {
    bool ok = false;
    int t = o->property(kHelp).toInt(&ok);
    if (ok && t > 0) return t;
  }
  return 1300;
}

void TfrmVantrell::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange && isActiveWindow() && refocus_) {
    refocus_->setFocus(Qt::ActiveWindowFocusReason);
    refocus_ = nullptr;
  }
  QMainWindow::changeEvent(e);
}

void TfrmVantrell::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F1) {
    ShowHelpTopic(HelpTopicOf(QApplication::focusWidget() ? QApplication::focusWidget() : this));
    return;
  }
  QMainWindow::keyPressEvent(e);
}

bool TfrmVantrell::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ToolTip:
      // "Show Help Hints" off: no tool tips anywhere in the program.
      if (!options_->Hints()) return true;
      break;
    case QEvent::Resize:
      if (watched == ui_.recordGrid && ui_.recordGrid->model() && ui_.recordGrid->model()->columnCount() > 0)
        ui_.recordGrid->setColumnWidth(0, std::max(40, ui_.recordGrid->width() - 31));
      break;
    case QEvent::Enter:
      if (watched == ui_.exitButton)
        ui_.exitButton->setToolTip(options_->TrayIcon() ? "Send to Icon Tray" : "Exit Vantrell");
      break;
    case QEvent::KeyPress: {
      auto* k = static_cast<QKeyEvent*>(event);
      if (k->key() == Qt::Key_F1) {
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
          QAction* a = menu->activeAction();
          int topic = a ? a->property(kHelp).toInt() : 0;
          menu->close();
          ShowHelpTopic(topic > 0 ? topic : 1300);
          return true;
        }
        QWidget* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this && w == QApplication::focusWidget()) {
          ShowHelpTopic(HelpTopicOf(w));
          return true;
        }
      }
      break;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}
