#include "mainwindow.h"

#include <QAction>
#include <QShortcut>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <stdexcept>

#include "about.h"
#include "commandguard.h"
#include "datafiles.h"
#include "folder.h"
#include "datagrid.h"
#include "datamodule.h"
#include "addtocatalog.h"
#include "descriptioncleanup.h"
#include "helpwindow.h"
#include "icons.h"
#include "pathlabel.h"
#include "prompts.h"
#include "settings.h"

namespace {

constexpr char kTag[] = "tag";
constexpr char kHelp[] = "helpTopic";

const QColor kNavy(0, 0, 128);
const QColor kGreen(0, 128, 0);

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
    : QMainWindow(parent), dm_(dm), dataFolder_(dataFolder) {
  setObjectName("frmVantrell");
  setWindowTitle("Vantrell");
  setWindowIcon(icons::AppIcon());
  setWindowFlags((windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) &
                 ~Qt::WindowMaximizeButtonHint);
  QFont f("Arial", 9);
  setFont(f);
  setProperty(kHelp, 1300);
  resize(591, 565);

  BuildToolBar();
  BuildMenus();
  BuildBody();
  BuildStatusBar();
  BuildTray();

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(5000);
  connect(Timer1, &QTimer::timeout, this, &TfrmVantrell::Timer1Timer);

  qApp->installEventFilter(this);

  // The file of the current record is checked on a worker; the panel shows
  // the answer when it comes.
  recordView_ = new browse::TRecordView(this);
  startNotes_ = dm_.IndexNotes;
  connect(recordView_, &browse::TRecordView::FileAnswered, this, &TfrmVantrell::ShowFile);
  connect(recordView_, &browse::TRecordView::Damaged, this, [this](const QString& text) { ReportDamage(QString(), text); });

  // The data sources report to the record view.
  connect(&dm_.DataSource1, &TDataSource::DataChange, this, &TfrmVantrell::DataSource1DataChange);
  connect(&dm_.DataSource1, &TDataSource::StateChange, this, &TfrmVantrell::DataSource1StateChange);
  connect(&dm_.DataSource2, &TDataSource::DataChange, this, &TfrmVantrell::DataSource2DataChange);

  // FormCreate: open the records and the catalog names.
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
  RxDBGrid1->SetDataSet(&dm_.ApTable1, {{QString("FLTITLE"), QString("File Title")}});
  // A catalogue on a read-only medium or share is browsed, searched and
  // reported; what would write is switched off with a hint.
  {
    bool writable = store::CanWriteInUtf8(store::ToUtf8(dataFolder_));
    for (const char* file : {store::kRecordsTable, store::kRecordsIndex, store::kCatalogTable, store::kCatalogIndex})
      writable = writable && QFileInfo(store::DataFilePath(dataFolder_, file)).isWritable();
    if (!writable)
      readOnly_ = "The database in\n" + QDir::toNativeSeparators(dataFolder_) +
                  "\nis read-only (its folder or files cannot be written):\n"
                  "it can be browsed, searched and reported, not changed.";
  }
  CurrentTabIndex = 0;
  settings_ = std::make_unique<TSettings>();
  LoadSettings();
  RunCommand([this] { LoadCatalogTabs(); });
  TabControl1->blockSignals(true);
  TabControl1->setCurrentIndex(CurrentTabIndex);
  TabControl1->blockSignals(false);
  ApplyFlatButtons(this);
  QuitFlag = false;
  DataSource1StateChange();
  DataSource1DataChange(QString());
  DataSource2DataChange(QString());
  connect(FileLabel1, &TFileLabel::doubleClicked, this, &TfrmVantrell::FileLabel1DblClick);
}

TfrmVantrell::~TfrmVantrell() {
  qApp->removeEventFilter(this);
  // The tables outlive the window: no notification may reach it any more.
  disconnect(&dm_.DataSource1, nullptr, this, nullptr);
  disconnect(&dm_.DataSource2, nullptr, this, nullptr);
}

QToolButton* TfrmVantrell::MakeButton(const char* name, const QString& icon, const QString& hint, int tag,
                                      bool latching) {
  auto* b = new QToolButton(Panel2);
  b->setObjectName(name);
  b->setIcon(icons::ToolIcon(icon));
  b->setIconSize(QSize(20, 20));
  b->setFixedSize(27, 27);
  b->setToolTip(hint);
  b->setProperty(kTag, tag);
  b->setFocusPolicy(Qt::NoFocus);
  if (latching) {
    b->setCheckable(true);
    latchGroup_.append(b);
    connect(b, &QToolButton::clicked, this, [this, b] { LatchClicked(b); });
  }
  buttons_.push_back(b);
  return b;
}

void TfrmVantrell::BuildToolBar() {
  Panel2 = new QFrame(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFixedHeight(33);
  Panel2->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(Panel2);
  row->setContentsMargins(10, 3, 6, 3);
  row->setSpacing(2);
  auto separator = [&] {
    auto* s = new QFrame(Panel2);
    s->setFrameShape(QFrame::VLine);
    s->setFrameShadow(QFrame::Sunken);
    s->setFixedWidth(8);
    row->addWidget(s);
  };
  sbtnCatRpt = MakeButton("sbtnCatRpt", "catrpt", "Selected catalog report", 3, false);
  sbtnRecRpt = MakeButton("sbtnRecRpt", "recrpt", "Single record report", 3, false);
  sbtnFind = MakeButton("sbtnFind", "find", "Search for a file", 1, false);
  sbtnZipArch = MakeButton("sbtnZipArch", "zip", "View zip archive", 1, false);
  sbtnClrCRLF = MakeButton("sbtnClrCRLF", "clrcrlf", "Remove CR/LF from selected text", 2, false);
  sbtnRemExtraSpcs = MakeButton("sbtnRemExtraSpcs", "remspaces", "Remove extra spaces from selected text", 2, false);
  sbtnCmbCLES = MakeButton("sbtnCmbCLES", "cmbcles", "Combined removal of Cr/Lf & extra spaces", 2, false);
  // Wide enough for its picture and the whole caption in any font.
  sbtnCmbCLES->setFixedSize(std::max(57, sbtnCmbCLES->fontMetrics().horizontalAdvance("CR+SP") + 16 + 18), 27);
  sbtnCmbCLES->setText("CR+SP");
  sbtnCmbCLES->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  sbtnCmbCLES->setLayoutDirection(Qt::RightToLeft);  // picture right of the text
  sbtnCmbCLES->hide();
  sbtnRunApp = MakeButton("sbtnRunApp", "runapp", "Launch file", 4, false);
  sbtnSave = MakeButton("sbtnSave", "save", "Save a record", 2, false);
  sbtnEdit = MakeButton("sbtnEdit", "edit", "Edit a record", 3, true);
  sbtnAdd = MakeButton("sbtnAdd", "add", "Add a record", 3, true);
  sbtnMove = MakeButton("sbtnMove", "move", "Move a record", 3, true);
  sbtnTrash = MakeButton("sbtnTrash", "trash", "Delete a record", 3, true);
  sbtnHelp = MakeButton("sbtnHelp", "help", "Help", 0, false);
  sbtnExit = MakeButton("sbtnExit", "exit", "Exit Vantrell", 0, false);
  sbtnDummy = MakeButton("sbtnDummy", "", QString(), 0, false);
  sbtnDummy->setFixedSize(20, 20);
  sbtnDummy->hide();
  sbtnExit->installEventFilter(this);  // its hint follows the tray option

  row->addWidget(sbtnCatRpt);
  row->addWidget(sbtnRecRpt);
  separator();
  row->addWidget(sbtnFind);
  row->addWidget(sbtnZipArch);
  row->addWidget(sbtnClrCRLF);
  row->addWidget(sbtnRemExtraSpcs);
  row->addWidget(sbtnCmbCLES);
  row->addWidget(sbtnRunApp);
  separator();
  row->addWidget(sbtnSave);
  row->addWidget(sbtnEdit);
  row->addWidget(sbtnAdd);
  row->addWidget(sbtnMove);
  row->addWidget(sbtnTrash);
  separator();
  row->addWidget(sbtnHelp);
  separator();
  row->addWidget(sbtnExit);
  row->addStretch(1);
  row->addWidget(sbtnDummy);

  connect(sbtnHelp, &QToolButton::clicked, this, &TfrmVantrell::mnuContentsClick);
  connect(sbtnExit, &QToolButton::clicked, this, &TfrmVantrell::sbtnExitClick);
}

QAction* TfrmVantrell::MakeAction(QMenu* menu, const char* name, const QString& text, int tag, int help) {
  auto* a = menu->addAction(text);
  a->setObjectName(name);
  a->setProperty(kTag, tag);
  if (help) a->setProperty(kHelp, help);
  actions_.push_back(a);
  return a;
}

void TfrmVantrell::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");

  QMenu* files = bar->addMenu("&File");
  files->setObjectName("Files1");
  mnuFlCopy = MakeAction(files, "mnuFlCopy", "&Copy", 4, 1510);
  mnuFlMove = MakeAction(files, "mnuFlMove", "&Move", 4, 1520);
  mnuFlDelete = MakeAction(files, "mnuFlDelete", "&Delete", 4, 1540);
  mnuFlRename = MakeAction(files, "mnuFlRename", "&Rename", 4, 1530);
  files->addSeparator();
  mnuCreateDir = MakeAction(files, "mnuCreateDir", "&Create Folder", 4, 1550);
  files->addSeparator();
  mnuRunApp = MakeAction(files, "mnuRunApp", "Launch &File", 4, 0);
  files->addSeparator();
  mnuExit = MakeAction(files, "mnuExit", "&Exit", 0, 0);
  // Ctrl+C belongs to the File menu item, which has no command of its own:
  // the key does nothing in the window's other controls. Copying out of the
  // description has its own key handling.
  auto* fileKey = new QAction(this);
  fileKey->setObjectName("Files1Shortcut");
  fileKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  fileKey->setShortcutContext(Qt::WindowShortcut);
  addAction(fileKey);

  QMenu* records = bar->addMenu("&Records");
  mnuRecSave = MakeAction(records, "mnuRecSave", "Sa&ve", 2, 1360);
  mnuRecEdit = MakeAction(records, "mnuRecEdit", "&Edit", 3, 1370);
  mnuRecAdd = MakeAction(records, "mnuRecAdd", "&Add", 3, 1380);
  mnuMove = MakeAction(records, "mnuMove", "&Move", 3, 1610);
  mnuRecDel = MakeAction(records, "mnuRecDel", "&Delete", 3, 1390);
  records->addSeparator();
  mnuSelAll = MakeAction(records, "mnuSelAll", "Select All", 0, 1620);
  mnuUnSelAll = MakeAction(records, "mnuUnSelAll", "UnSelect All", 0, 1620);
  records->addSeparator();
  mnuSearch = MakeAction(records, "mnuSearch", "&Search", 1, 1330);
  mnuClrCrLf = MakeAction(records, "mnuClrCrLf", "Remove &CR/LF", 2, 1350);
  mnuRemExtraSpc = MakeAction(records, "mnuRemExtraSpc", "&Remove Extra Spaces", 2, 1355);
  mnuVuZip = MakeAction(records, "mnuVuZip", "View &Zip Archive", 1, 0);

  QMenu* catalog = bar->addMenu("&Catalog");
  mnuAddCat = MakeAction(catalog, "mnuAddCat", "&Add", 0, 1410);
  mnuDelCat = MakeAction(catalog, "mnuDelCat", "&Delete", 0, 1430);
  mnuRenCat = MakeAction(catalog, "mnuRenCat", "&Rename", 0, 1420);

  QMenu* reports = bar->addMenu("Re&ports");
  mnuCatRpt = MakeAction(reports, "mnuCatRpt", "&Catalog", 3, 1310);
  mnuRecRpt = MakeAction(reports, "mnuRecRpt", "&Record", 3, 1320);
  reports->addSeparator();
  QMenu* reportOptions = reports->addMenu("&Options");
  mnuFull = MakeAction(reportOptions, "mnuFull", "&Full", 0, 1870);
  mnuShaded = MakeAction(reportOptions, "mnuShaded", "&Shaded", 0, 1880);
  mnuHdrFtrBox = MakeAction(reportOptions, "mnuHdrFtrBox", "&Header/Footer Box", 0, 1885);
  mnuLftMrgn = MakeAction(reportOptions, "mnuLftMrgn", "Left Margin Binder Offset", 0, 0);

  QMenu* options = bar->addMenu("&Options");
  mnuHints = MakeAction(options, "mnuHints", "Show Help Hints", 0, 1810);
  mnuKeepOnTop = MakeAction(options, "mnuKeepOnTop", "Keep On Top", 0, 1830);
  mnuKeepPos = MakeAction(options, "mnuKeepPos", "Keep Position/Size", 0, 1840);
  mnuTrayIcon = MakeAction(options, "mnuTrayIcon", "Tray Icon", 0, 1820);
  mnuFlatBtns = MakeAction(options, "mnuFlatBtns", "Flat Buttons", 0, 1845);
  options->addSeparator();
  mnuCmbCrLfExtrSpc = MakeAction(options, "mnuCmbCrLfExtrSpc", "Combine CR/LF && Extra Spaces", 0, 1358);
  mnuSetDefCat = MakeAction(options, "mnuSetDefCat", "Set Default Catalog", 0, 1920);
  options->addSeparator();
  QMenu* database = options->addMenu("&Database");
  mnuBackup = MakeAction(database, "mnuBackup", "&Backup", 0, 1860);
  mnuPack = MakeAction(database, "mnuPack", "&Pack", 0, 1850);
  mnuReindex = MakeAction(database, "mnuReindex", "Reindex", 0, 1865);

  QMenu* help = bar->addMenu("&Help");
  mnuContents = MakeAction(help, "mnuContents", "&Contents", 0, 0);
  mnuAbout = MakeAction(help, "mnuAbout", "&About", 0, 0);

  for (QAction* a : {mnuFull, mnuShaded, mnuHdrFtrBox, mnuLftMrgn, mnuHints, mnuKeepOnTop, mnuKeepPos,
                     mnuTrayIcon, mnuFlatBtns, mnuCmbCrLfExtrSpc})
    a->setCheckable(true);
  mnuHints->setChecked(true);

  // F1 over an open menu shows the help of the highlighted item.
  for (QMenu* m : {files, records, catalog, reports, reportOptions, options, database, help}) m->installEventFilter(this);

  connect(mnuExit, &QAction::triggered, this, &TfrmVantrell::sbtnExitClick);
  connect(mnuRecEdit, &QAction::triggered, this, &TfrmVantrell::mnuRecEditClick);
  connect(mnuRecSave, &QAction::triggered, this, &TfrmVantrell::sbtnSaveClick);
  connect(mnuRecAdd, &QAction::triggered, this, &TfrmVantrell::mnuRecAddClick);
  connect(mnuMove, &QAction::triggered, this, [this] {
    sbtnMove->setChecked(true);
    LatchClicked(sbtnMove);
  });
  connect(mnuRecDel, &QAction::triggered, this, [this] {
    sbtnTrash->setChecked(true);
    LatchClicked(sbtnTrash);
  });
  connect(sbtnSave, &QToolButton::clicked, this, &TfrmVantrell::sbtnSaveClick);
  connect(mnuSelAll, &QAction::triggered, this, &TfrmVantrell::mnuSelAllClick);
  connect(sbtnFind, &QToolButton::clicked, this, &TfrmVantrell::sbtnFindClick);
  connect(sbtnCatRpt, &QToolButton::clicked, this, &TfrmVantrell::sbtnCatRptClick);
  connect(mnuCatRpt, &QAction::triggered, this, &TfrmVantrell::sbtnCatRptClick);
  connect(sbtnRecRpt, &QToolButton::clicked, this, &TfrmVantrell::sbtnRecRptClick);
  connect(mnuRecRpt, &QAction::triggered, this, &TfrmVantrell::sbtnRecRptClick);
  connect(mnuSearch, &QAction::triggered, this, &TfrmVantrell::sbtnFindClick);
  connect(mnuUnSelAll, &QAction::triggered, this, &TfrmVantrell::mnuUnSelAllClick);
  connect(mnuClrCrLf, &QAction::triggered, this, &TfrmVantrell::sbtnClrCRLFClick);
  connect(sbtnClrCRLF, &QToolButton::clicked, this, &TfrmVantrell::sbtnClrCRLFClick);
  connect(mnuRemExtraSpc, &QAction::triggered, this, &TfrmVantrell::sbtnRemExtraSpcsClick);
  connect(sbtnRemExtraSpcs, &QToolButton::clicked, this, &TfrmVantrell::sbtnRemExtraSpcsClick);
  connect(sbtnCmbCLES, &QToolButton::clicked, this, &TfrmVantrell::sbtnCmbCLESClick);
  connect(mnuAddCat, &QAction::triggered, this, &TfrmVantrell::mnuAddCatClick);
  connect(mnuDelCat, &QAction::triggered, this, &TfrmVantrell::mnuAddCatClick);
  connect(mnuRenCat, &QAction::triggered, this, &TfrmVantrell::mnuRenCatClick);
  for (QAction* a : {mnuFlCopy, mnuFlMove, mnuFlRename, mnuFlDelete, mnuCreateDir})
    connect(a, &QAction::triggered, this, [this, a] { mnuFileOpsClick(a); });
  connect(mnuRunApp, &QAction::triggered, this, &TfrmVantrell::sbtnRunAppClick);
  connect(sbtnRunApp, &QToolButton::clicked, this, &TfrmVantrell::sbtnRunAppClick);
  connect(mnuBackup, &QAction::triggered, this, &TfrmVantrell::mnuBackupClick);
  connect(mnuPack, &QAction::triggered, this, &TfrmVantrell::mnuPackClick);
  connect(mnuReindex, &QAction::triggered, this, &TfrmVantrell::mnuReindexClick);
  // Ctrl+PgUp and Ctrl+PgDn go to the catalog tab before and after, from
  // any control of the window (Ctrl+Tab is a clean-up key here).
  for (const auto& [key, step] : {std::pair{Qt::Key_PageUp, -1}, std::pair{Qt::Key_PageDown, 1}}) {
    auto* tabKey = new QShortcut(QKeySequence(Qt::CTRL | key), this);
    tabKey->setContext(Qt::WindowShortcut);
    connect(tabKey, &QShortcut::activated, this, [this, step = step] {
      const int count = TabControl1->count();
      if (count > 1) SelectTab((TabControl1->currentIndex() + step + count) % count);
    });
  }
  connect(sbtnZipArch, &QToolButton::clicked, this, &TfrmVantrell::sbtnZipArchClick);
  connect(mnuVuZip, &QAction::triggered, this, &TfrmVantrell::sbtnZipArchClick);
  connect(mnuContents, &QAction::triggered, this, &TfrmVantrell::mnuContentsClick);
  connect(mnuAbout, &QAction::triggered, this, &TfrmVantrell::mnuAboutClick);
  connect(mnuHints, &QAction::triggered, this, &TfrmVantrell::mnuHintsClick);
  connect(mnuCmbCrLfExtrSpc, &QAction::triggered, this, &TfrmVantrell::mnuCmbCrLfExtrSpcClick);
  connect(mnuKeepOnTop, &QAction::triggered, this, &TfrmVantrell::mnuKeepOnTopClick);
  connect(mnuKeepPos, &QAction::triggered, this, &TfrmVantrell::mnuKeepPosClick);
  connect(mnuTrayIcon, &QAction::triggered, this, &TfrmVantrell::mnuTrayIconClick);
  connect(mnuFlatBtns, &QAction::triggered, this, &TfrmVantrell::mnuFlatBtnsClick);
  connect(mnuFull, &QAction::triggered, this, &TfrmVantrell::mnuFullClick);
  connect(mnuShaded, &QAction::triggered, this, &TfrmVantrell::mnuShadedClick);
  connect(mnuHdrFtrBox, &QAction::triggered, this, &TfrmVantrell::mnuHdrFtrBoxClick);
  connect(mnuLftMrgn, &QAction::triggered, this, &TfrmVantrell::mnuLftMrgnClick);
  connect(mnuSetDefCat, &QAction::triggered, this, &TfrmVantrell::mnuSetDefCatClick);
}

void TfrmVantrell::BuildBody() {
  auto* central = new QWidget(this);
  auto* col = new QVBoxLayout(central);
  col->setContentsMargins(0, 0, 0, 0);
  col->setSpacing(0);
  col->addWidget(Panel2);

  TabControl1 = new QTabBar(central);
  TabControl1->setObjectName("TabControl1");
  TabControl1->setProperty(kHelp, 1400);
  TabControl1->setExpanding(false);
  TabControl1->setUsesScrollButtons(true);
  TabControl1->setDrawBase(true);
  TabControl1->setFocusPolicy(Qt::TabFocus);
  connect(TabControl1, &QTabBar::currentChanged, this, [this](int) { TabControl1Change(); });
  col->addWidget(TabControl1);

  // The detail panel: path, size and date of the current record, and the
  // counters.
  Panel1 = new QFrame(central);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  Panel1->setLineWidth(2);
  Panel1->setFixedHeight(72);
  auto* detail = new QHBoxLayout(Panel1);
  detail->setContentsMargins(6, 4, 6, 4);
  detail->setSpacing(6);
  auto* captions = new QVBoxLayout;
  captions->setSpacing(0);
  // The caption shows this platform's path separator.
  Label1 = new QLabel("Path" + QString(QDir::separator()) + "File ", Panel1);
  Label2 = new QLabel("File Size ", Panel1);
  Label3 = new QLabel("Created ", Panel1);
  for (QLabel* l : {Label1, Label2, Label3}) {
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    captions->addWidget(l);
  }
  Label1->setObjectName("Label1");
  Label2->setObjectName("Label2");
  Label3->setObjectName("Label3");
  detail->addLayout(captions);

  Panel3 = new QFrame(Panel1);
  Panel3->setObjectName("Panel3");
  Panel3->setFrameShape(QFrame::Panel);
  Panel3->setFrameShadow(QFrame::Sunken);
  Panel3->setMinimumWidth(393);
  auto* lines = new QVBoxLayout(Panel3);
  lines->setContentsMargins(4, 1, 4, 1);
  lines->setSpacing(0);
  FileLabel1 = new TFileLabel(Panel3);
  FileLabel1->setObjectName("FileLabel1");
  Label8 = new QLabel(Panel3);
  Label8->setObjectName("Label8");
  dbtxtCreated = new QLabel(Panel3);
  dbtxtCreated->setObjectName("dbtxtCreated");
  lines->addWidget(FileLabel1);
  lines->addWidget(Label8);
  lines->addWidget(dbtxtCreated);
  detail->addWidget(Panel3, 1);

  auto* counter = new QVBoxLayout;
  counter->setSpacing(0);
  Label5 = new QLabel("Files in Catalog", Panel1);
  Label5->setObjectName("Label5");
  Label5->setAlignment(Qt::AlignCenter);
  auto* numbers = new QHBoxLayout;
  numbers->setSpacing(3);
  Label6 = new QLabel("0", Panel1);
  Label6->setObjectName("Label6");
  Label7 = new QLabel("/", Panel1);
  Label7->setObjectName("Label7");
  Label4 = new QLabel("0", Panel1);
  Label4->setObjectName("Label4");
  QFont bold = font();
  bold.setBold(true);
  for (QLabel* l : {Label6, Label4}) l->setFont(bold);
  QPalette green = Label6->palette();
  green.setColor(QPalette::WindowText, kGreen);
  Label6->setPalette(green);
  QPalette navy = Label4->palette();
  navy.setColor(QPalette::WindowText, kNavy);
  Label4->setPalette(navy);
  numbers->addStretch(1);
  connect(&counts_, &RecordCounts::CatalogChanged, Label6, [this](int n) { Label6->setText(QString::number(n)); });
  connect(&counts_, &RecordCounts::TotalChanged, Label4, [this](int n) { Label4->setText(QString::number(n)); });
  numbers->addWidget(Label6);
  numbers->addWidget(Label7);
  numbers->addWidget(Label4);
  numbers->addStretch(1);
  counter->addStretch(1);
  counter->addWidget(Label5);
  counter->addLayout(numbers);
  counter->addStretch(1);
  detail->addLayout(counter);
  col->addWidget(Panel1);

  // The grid over the records and the description memo, with the splitter
  // between them.
  Splitter1 = new QSplitter(Qt::Vertical, central);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(8);
  Splitter1->setChildrenCollapsible(false);
  RxDBGrid1 = new TRxDBGrid(Splitter1);
  RxDBGrid1->setObjectName("RxDBGrid1");
  RxDBGrid1->setProperty(kTag, 1);
  RxDBGrid1->setProperty(kHelp, 1450);
  connect(RxDBGrid1, &TRxDBGrid::TitleBtnClick, this, &TfrmVantrell::RxDBGrid1TitleBtnClick);
  connect(RxDBGrid1, &TRxDBGrid::CurrentRowChosen, this, &TfrmVantrell::GridRowChosen);
  // A row the grid cannot read is reported like a damaged record; the box
  // says it is the list that could not be read (a save just told done was
  // done, whatever the list meets afterwards).
  connect(RxDBGrid1->Model(), &TRecordGridModel::ReadError, this, [this](const QString& message) {
    ReportDamage(message, "The list of records could not be read: " + command::ErrorText(message));
  });
  connect(RxDBGrid1->Model(), &TRecordGridModel::WriteRefused, this,
          [this](const QString& message) { ReportDamage(QString(), command::ErrorText(message)); });
  RxDBGrid1->installEventFilter(this);  // the column follows the grid's width
  DBMemo1 = new QPlainTextEdit(Splitter1);
  DBMemo1->setObjectName("DBMemo1");
  DBMemo1->setProperty(kTag, 1);
  DBMemo1->setProperty(kHelp, 1460);
  DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  DBMemo1->setReadOnly(true);
  connect(DBMemo1, &QPlainTextEdit::textChanged, this, &TfrmVantrell::MemoEdited);
  // Ctrl+Tab and Ctrl+Space clean the selection; Ctrl+C copies it cleaned.
  new browse::MemoKeys(DBMemo1, [this](browse::Cleanup how) { CleanMemo(how); },
                       [this](int from, int to) { return description_.StoredPart(from, to); });
  Splitter1->addWidget(RxDBGrid1);
  Splitter1->addWidget(DBMemo1);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  col->addWidget(Splitter1, 1);
  setCentralWidget(central);
}

void TfrmVantrell::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setProperty(kHelp, 1470);
  bar->setSizeGripEnabled(false);
  const int widths[3] = {358, 112, 112};
  for (int i = 0; i < 3; ++i) {
    StatusPanel[i] = new QLabel(bar);
    StatusPanel[i]->setObjectName(QString("StatusPanel%1").arg(i));
    StatusPanel[i]->setFrameShape(QFrame::Panel);
    StatusPanel[i]->setFrameShadow(QFrame::Sunken);
    StatusPanel[i]->setMinimumWidth(i == 0 ? 120 : widths[i]);
    if (i == 0) {
      StatusPanel[i]->resize(widths[0], StatusPanel[i]->height());
      bar->addWidget(StatusPanel[i], 1);
    } else {
      StatusPanel[i]->setFixedWidth(widths[i]);
      bar->addPermanentWidget(StatusPanel[i]);
    }
  }
}

void TfrmVantrell::BuildTray() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  popmnuOpen = PopupMenu1->addAction("Open");
  popmnuOpen->setObjectName("popmnuOpen");
  popmnuClose = PopupMenu1->addAction("Close");
  popmnuClose->setObjectName("popmnuClose");
  PopupMenu1->addSeparator();
  popmnuCancel = PopupMenu1->addAction("Cancel");
  popmnuCancel->setObjectName("popmnuCancel");
  connect(popmnuOpen, &QAction::triggered, this, &TfrmVantrell::popmnuOpenClick);
  connect(popmnuClose, &QAction::triggered, this, &TfrmVantrell::popmnuCloseClick);
  TrayIcon = new QSystemTrayIcon(icons::AppIcon(), this);
  TrayIcon->setObjectName("TrayIcon");
  TrayIcon->setToolTip("Vantrell");
  // Only the right button opens the menu; other clicks on the icon do nothing.
  TrayIcon->setContextMenu(PopupMenu1);
}

// ---- settings ------------------------------------------------------------------------

void TfrmVantrell::LoadSettings() {
  TSettings& s = *settings_;
  hintsOn_ = s.Read(settings::kHints);
  mnuHints->setChecked(hintsOn_);
  bool combined = s.Read(settings::kCmbCLES);
  mnuCmbCrLfExtrSpc->setChecked(combined);
  if (combined) PlaceCombinedButton(true);
  mnuFull->setChecked(s.Read(settings::kFullShort));
  mnuHdrFtrBox->setChecked(s.Read(settings::kHdrBox));
  mnuShaded->setChecked(s.Read(settings::kShaded));
  mnuLftMrgn->setChecked(s.Read(settings::kLMBO));
  mnuKeepOnTop->setChecked(s.Read(settings::kKeepOnTop));
  mnuFlatBtns->setChecked(s.Read(settings::kFlatBtns));
  if (mnuKeepOnTop->isChecked()) SetKeepOnTop(true);
  mnuKeepPos->setChecked(s.Read(settings::kPosition));
  if (mnuKeepPos->isChecked()) {
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
  Splitter1->setSizes({std::max(grid, 20), std::max(height() - grid, 40)});
  RxDBGrid1->setFocus();
  bool tray = s.Read(settings::kTryIcn);
  mnuTrayIcon->setChecked(tray);
  if (tray && QSystemTrayIcon::isSystemTrayAvailable()) {
    TrayIcon->show();
    startInTray_ = true;
  }
}

void TfrmVantrell::PlaceCombinedButton(bool combined) {
  sbtnCmbCLES->setVisible(combined);
  sbtnClrCRLF->setVisible(!combined);
  sbtnRemExtraSpcs->setVisible(!combined);
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

void TfrmVantrell::ApplyFlatButtons(QWidget* window) {
  bool flat = mnuFlatBtns && mnuFlatBtns->isChecked();
  for (QToolButton* b : window->findChildren<QToolButton*>()) b->setAutoRaise(flat);
}

void TfrmVantrell::mnuHintsClick() {
  hintsOn_ = mnuHints->isChecked();
  settings_->Write(settings::kHints, hintsOn_);
}

void TfrmVantrell::mnuCmbCrLfExtrSpcClick() {
  PlaceCombinedButton(mnuCmbCrLfExtrSpc->isChecked());
  settings_->Write(settings::kCmbCLES, mnuCmbCrLfExtrSpc->isChecked());
}

void TfrmVantrell::mnuKeepOnTopClick() {
  SetKeepOnTop(mnuKeepOnTop->isChecked());
  settings_->Write(settings::kKeepOnTop, mnuKeepOnTop->isChecked());
}

void TfrmVantrell::mnuKeepPosClick() { settings_->Write(settings::kPosition, mnuKeepPos->isChecked()); }
void TfrmVantrell::mnuTrayIconClick() { settings_->Write(settings::kTryIcn, mnuTrayIcon->isChecked()); }

void TfrmVantrell::mnuFlatBtnsClick() {
  ApplyFlatButtons(this);
  settings_->Write(settings::kFlatBtns, mnuFlatBtns->isChecked());
}

void TfrmVantrell::mnuFullClick() { settings_->Write(settings::kFullShort, mnuFull->isChecked()); }
void TfrmVantrell::mnuShadedClick() { settings_->Write(settings::kShaded, mnuShaded->isChecked()); }
void TfrmVantrell::mnuHdrFtrBoxClick() { settings_->Write(settings::kHdrBox, mnuHdrFtrBox->isChecked()); }
void TfrmVantrell::mnuLftMrgnClick() { settings_->Write(settings::kLMBO, mnuLftMrgn->isChecked()); }

void TfrmVantrell::mnuSetDefCatClick() { settings_->Write(settings::kDFTab, CurrentCatalog()); }

// ---- showing and closing -------------------------------------------------------------

void TfrmVantrell::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!e->spontaneous()) FormShow();
}

void TfrmVantrell::FormShow() {
  mnuAddCat->setEnabled(TabControl1->count() != kMaxCatalogs);
  QString defaultCatalog = settings_->Read(settings::kDFTab);
  if (!mnuTrayIcon->isChecked()) {
    int found = -1;
    int n = (int)std::min<int64_t>(dm_.ApTable2.RecordCount(), TabControl1->count());
    for (int i = CurrentTabIndex; i < n; ++i) {
      if (TabControl1->tabText(i) == defaultCatalog) {
        found = i;
        break;
      }
    }
    CurrentTabIndex = found >= 0 ? found : 0;
  }
  if (TabControl1->count() > 0) {
    CurrentTabIndex = std::clamp(CurrentTabIndex, 0, TabControl1->count() - 1);
    TabControl1->blockSignals(true);
    TabControl1->setCurrentIndex(CurrentTabIndex);
    TabControl1->blockSignals(false);
    RunCommand([this] { SelectCatalog(TabControl1->tabText(CurrentTabIndex)); });
  }
  firstShowDone_ = true;
}

void TfrmVantrell::closeEvent(QCloseEvent* e) {
  if (mnuTrayIcon->isChecked() && !QuitFlag && QSystemTrayIcon::isSystemTrayAvailable()) {
    e->ignore();
    CurrentTabIndex = TabControl1->currentIndex();
    TrayIcon->show();
    hide();
    return;
  }
  // Where no notification area exists, hiding would leave the window where
  // nobody can reach it: the close goes ahead.
  // A record being edited is saved as the closing table would save it, the
  // title cell being typed in with it.
  LeaveEdit(browse::LeaveEdit::Save);
  // The position of the frame and the size of the window, as move() and
  // resize() take them at the next start, so the window does not drift.
  settings_->Write(settings::kTop, pos().y());
  settings_->Write(settings::kLeft, pos().x());
  settings_->Write(settings::kHeight, height());
  settings_->Write(settings::kWidth, width());
  settings_->Write(settings::kGridHeight, RxDBGrid1->height());
  TrayIcon->hide();
  e->accept();
}

void TfrmVantrell::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  // The only column fills the grid but for the indicator and scroll bar.
  if (RxDBGrid1 && RxDBGrid1->model() && RxDBGrid1->model()->columnCount() > 0)
    RxDBGrid1->setColumnWidth(0, std::max(40, RxDBGrid1->width() - 31));
}

void TfrmVantrell::sbtnExitClick() { close(); }

void TfrmVantrell::popmnuOpenClick() {
  show();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void TfrmVantrell::popmnuCloseClick() {
  TrayIcon->hide();
  QCoreApplication::processEvents();
  QuitFlag = true;
  close();
}

// ---- help -----------------------------------------------------------------------------------

void TfrmVantrell::ShowHelpTopic(int topic) {
  // The help window has no parent: above a main window kept on top it
  // must be kept on top as well.
  THelpWindow* help = THelpWindow::Instance();
  const bool onTop = mnuKeepOnTop && mnuKeepOnTop->isChecked();
  if (help->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop) help->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  help->ShowTopic(topic);
}

void TfrmVantrell::mnuContentsClick() { ShowHelpTopic(1000); }

void TfrmVantrell::mnuAboutClick() {
  TfrmAbout about(dataFolder_, this);
  ApplyFlatButtons(&about);
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
      if (!hintsOn_) return true;
      break;
    case QEvent::Resize:
      if (watched == RxDBGrid1 && RxDBGrid1->model() && RxDBGrid1->model()->columnCount() > 0)
        RxDBGrid1->setColumnWidth(0, std::max(40, RxDBGrid1->width() - 31));
      break;
    case QEvent::Enter:
      if (watched == sbtnExit)
        sbtnExit->setToolTip(mnuTrayIcon->isChecked() ? "Send to Icon Tray" : "Exit Vantrell");
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

// ---- the latching group and the status bar ------------------------------------------------

void TfrmVantrell::LatchClicked(QToolButton* b) {
  // Editing, moving or deleting writes the current record: not while a part
  // of it cannot be read, which the write would lose.
  if (b != sbtnAdd) {
    QString refusal = CurrentRecordRefusal();
    if (!refusal.isEmpty()) {
      b->setChecked(false);
      prompts::Current().Message(this, prompts::Kind::Error, refusal);
      return;
    }
  }
  // At most one of the group is down; all may be up.
  if (b->isChecked()) ReleaseLatched(b);
  if (b == sbtnEdit) {
    sbtnEditClick();  // released, it drops the edit
    return;
  }
  if (!b->isChecked()) return;  // released: nothing to run
  if (b == sbtnAdd)
    sbtnAddClick();
  else
    MoveOrDelete(b);
}

void TfrmVantrell::ReleaseLatched(QToolButton* except) {
  for (QToolButton* o : latchGroup_)
    if (o != except) o->setChecked(false);
}

TfrmAddToCatalog* TfrmVantrell::AddFilesDialog() {
  // Made at its first use (reading its folders costs the start nothing),
  // then kept for the whole run: its folder, mask and label carry over from
  // one use to the next.
  if (!frmAddToCatalog)
    frmAddToCatalog = new TfrmAddToCatalog(*this, [this] {
      sbtnEdit->setChecked(false);
      sbtnAdd->setChecked(false);
    }, this);
  return frmAddToCatalog;
}

void TfrmVantrell::ShowStatus(const QString& text) {
  StatusPanel[0]->setText(text);
  // The text tells of a command on this record: its file check, which may
  // answer later, does not overwrite it before the timer clears it.
  statusHeld_ = true;
  statusHeldFor_ = dm_.ApTable1.Active() ? dm_.ApTable1.RecNo() : 0;
  // A running timer is not restarted: the panel clears 5 seconds after the
  // first message.
  if (!Timer1->isActive()) Timer1->start();
}

QString TfrmVantrell::StatusText(int panel) const { return StatusPanel[panel]->text(); }

int TfrmVantrell::CatalogRecordCount() const { return counts_.Catalog(); }
void TfrmVantrell::SetCatalogRecordCount(int count) { counts_.SetCatalog(count); }
int TfrmVantrell::TotalRecordCount() const { return counts_.Total(); }
void TfrmVantrell::SetTotalRecordCount(int count) { counts_.SetTotal(count); }

void TfrmVantrell::Timer1Timer() {
  statusHeld_ = false;
  StatusPanel[0]->setText(" ");
  Timer1->stop();
}

QList<QObject*> TfrmVantrell::TaggedComponents() const {
  QList<QObject*> all;
  for (QToolButton* b : buttons_) all.append(b);
  for (QAction* a : actions_) all.append(a);
  all.append(RxDBGrid1);
  all.append(DBMemo1);
  return all;
}
