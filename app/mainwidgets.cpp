#include "mainwidgets.h"

#include <QAction>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "datagrid.h"
#include "icons.h"
#include "pathlabel.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kGreen(0, 128, 0);

}  // namespace

void TMainWidgets::Build(QMainWindow* window) {
  BuildToolBar(window);
  BuildMenus(window);
  BuildBody(window);
  BuildStatusBar(window);
  BuildTray(window);
}

QList<QObject*> TMainWidgets::TaggedComponents() const {
  QList<QObject*> all;
  for (QToolButton* b : buttons) all.append(b);
  for (QAction* a : actions) all.append(a);
  all.append(recordGrid);
  all.append(description);
  return all;
}

QToolButton* TMainWidgets::MakeButton(const char* name, const QString& icon, const QString& hint, int tag,
                                      bool latching) {
  auto* b = new QToolButton(toolBar);
  b->setObjectName(name);
  b->setIcon(icons::ToolIcon(icon));
  b->setIconSize(QSize(20, 20));
  b->setFixedSize(27, 27);
  b->setToolTip(hint);
  b->setProperty(kTag, tag);
  b->setFocusPolicy(Qt::NoFocus);
  b->setCheckable(latching);
  buttons.push_back(b);
  return b;
}

void TMainWidgets::BuildToolBar(QMainWindow* window) {
  toolBar = new QFrame(window);
  toolBar->setObjectName("Panel2");
  toolBar->setFixedHeight(33);
  toolBar->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(toolBar);
  row->setContentsMargins(10, 3, 6, 3);
  row->setSpacing(2);
  auto separator = [&] {
    auto* s = new QFrame(toolBar);
    s->setFrameShape(QFrame::VLine);
    s->setFrameShadow(QFrame::Sunken);
    s->setFixedWidth(8);
    row->addWidget(s);
  };
  catalogReportButton = MakeButton("sbtnCatRpt", "catrpt", "Selected catalog report", 3, false);
  recordReportButton = MakeButton("sbtnRecRpt", "recrpt", "Single record report", 3, false);
  findButton = MakeButton("sbtnFind", "find", "Search for a file", 1, false);
  zipButton = MakeButton("sbtnZipArch", "zip", "View zip archive", 1, false);
  lineBreaksButton = MakeButton("sbtnClrCRLF", "clrcrlf", "Remove CR/LF from selected text", 2, false);
  spacesButton = MakeButton("sbtnRemExtraSpcs", "remspaces", "Remove extra spaces from selected text", 2, false);
  combinedCleanButton = MakeButton("sbtnCmbCLES", "cmbcles", "Combined removal of Cr/Lf & extra spaces", 2, false);
  // Wide enough for its picture and the whole caption in any font.
  combinedCleanButton->setFixedSize(std::max(57, combinedCleanButton->fontMetrics().horizontalAdvance("CR+SP") + 16 + 18), 27);
  combinedCleanButton->setText("CR+SP");
  combinedCleanButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  combinedCleanButton->setLayoutDirection(Qt::RightToLeft);  // picture right of the text
  combinedCleanButton->hide();
  launchButton = MakeButton("sbtnRunApp", "runapp", "Launch file", 4, false);
  saveButton = MakeButton("sbtnSave", "save", "Save a record", 2, false);
  editButton = MakeButton("sbtnEdit", "edit", "Edit a record", 3, true);
  addButton = MakeButton("sbtnAdd", "add", "Add a record", 3, true);
  moveButton = MakeButton("sbtnMove", "move", "Move a record", 3, true);
  deleteButton = MakeButton("sbtnTrash", "trash", "Delete a record", 3, true);
  helpButton = MakeButton("sbtnHelp", "help", "Help", 0, false);
  exitButton = MakeButton("sbtnExit", "exit", "Exit Vantrell", 0, false);
  spareButton = MakeButton("sbtnDummy", "", QString(), 0, false);
  spareButton->setFixedSize(20, 20);
  spareButton->hide();

  row->addWidget(catalogReportButton);
  row->addWidget(recordReportButton);
  separator();
  row->addWidget(findButton);
  row->addWidget(zipButton);
  row->addWidget(lineBreaksButton);
  row->addWidget(spacesButton);
  row->addWidget(combinedCleanButton);
  row->addWidget(launchButton);
  separator();
  row->addWidget(saveButton);
  row->addWidget(editButton);
  row->addWidget(addButton);
  row->addWidget(moveButton);
  row->addWidget(deleteButton);
  separator();
  row->addWidget(helpButton);
  separator();
  row->addWidget(exitButton);
  row->addStretch(1);
  row->addWidget(spareButton);

}

QAction* TMainWidgets::MakeAction(QMenu* menu, const char* name, const QString& text, int tag, int help) {
  auto* a = menu->addAction(text);
  a->setObjectName(name);
  a->setProperty(kTag, tag);
  if (help) a->setProperty(kHelp, help);
  actions.push_back(a);
  return a;
}

void TMainWidgets::BuildMenus(QMainWindow* window) {
  QMenuBar* bar = window->menuBar();
  bar->setObjectName("MainMenu1");

  QMenu* files = bar->addMenu("&File");
  files->setObjectName("Files1");
  copyFileAction = MakeAction(files, "mnuFlCopy", "&Copy", 4, 1510);
  moveFileAction = MakeAction(files, "mnuFlMove", "&Move", 4, 1520);
  deleteFileAction = MakeAction(files, "mnuFlDelete", "&Delete", 4, 1540);
  renameFileAction = MakeAction(files, "mnuFlRename", "&Rename", 4, 1530);
  files->addSeparator();
  createFolderAction = MakeAction(files, "mnuCreateDir", "&Create Folder", 4, 1550);
  files->addSeparator();
  launchAction = MakeAction(files, "mnuRunApp", "Launch &File", 4, 0);
  files->addSeparator();
  exitAction = MakeAction(files, "mnuExit", "&Exit", 0, 0);
  // Ctrl+C belongs to the File menu item, which has no command of its own:
  // the key does nothing in the window's other controls. Copying out of the
  // description has its own key handling.
  auto* fileKey = new QAction(window);
  fileKey->setObjectName("Files1Shortcut");
  fileKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  fileKey->setShortcutContext(Qt::WindowShortcut);
  window->addAction(fileKey);

  QMenu* records = bar->addMenu("&Records");
  saveAction = MakeAction(records, "mnuRecSave", "Sa&ve", 2, 1360);
  editAction = MakeAction(records, "mnuRecEdit", "&Edit", 3, 1370);
  addAction = MakeAction(records, "mnuRecAdd", "&Add", 3, 1380);
  moveAction = MakeAction(records, "mnuMove", "&Move", 3, 1610);
  deleteAction = MakeAction(records, "mnuRecDel", "&Delete", 3, 1390);
  records->addSeparator();
  selectAllAction = MakeAction(records, "mnuSelAll", "Select All", 0, 1620);
  unselectAllAction = MakeAction(records, "mnuUnSelAll", "UnSelect All", 0, 1620);
  records->addSeparator();
  searchAction = MakeAction(records, "mnuSearch", "&Search", 1, 1330);
  lineBreaksAction = MakeAction(records, "mnuClrCrLf", "Remove &CR/LF", 2, 1350);
  spacesAction = MakeAction(records, "mnuRemExtraSpc", "&Remove Extra Spaces", 2, 1355);
  zipAction = MakeAction(records, "mnuVuZip", "View &Zip Archive", 1, 0);

  QMenu* catalog = bar->addMenu("&Catalog");
  addCatalogAction = MakeAction(catalog, "mnuAddCat", "&Add", 0, 1410);
  deleteCatalogAction = MakeAction(catalog, "mnuDelCat", "&Delete", 0, 1430);
  renameCatalogAction = MakeAction(catalog, "mnuRenCat", "&Rename", 0, 1420);
  catalog->addSeparator();
  volumesAction = MakeAction(catalog, "mnuVolumes", "&Volumes...", 0, 1440);
  compareDiskAction = MakeAction(catalog, "mnuCompareDisk", "Compare &with Disk...", 0, 1445);

  QMenu* reports = bar->addMenu("Re&ports");
  catalogReportAction = MakeAction(reports, "mnuCatRpt", "&Catalog", 3, 1310);
  recordReportAction = MakeAction(reports, "mnuRecRpt", "&Record", 3, 1320);
  reports->addSeparator();
  QMenu* reportOptions = reports->addMenu("&Options");
  fullReportAction = MakeAction(reportOptions, "mnuFull", "&Full", 0, 1870);
  shadedReportAction = MakeAction(reportOptions, "mnuShaded", "&Shaded", 0, 1880);
  boxReportAction = MakeAction(reportOptions, "mnuHdrFtrBox", "&Header/Footer Box", 0, 1885);
  binderMarginAction = MakeAction(reportOptions, "mnuLftMrgn", "Left Margin Binder Offset", 0, 0);

  QMenu* options = bar->addMenu("&Options");
  hintsAction = MakeAction(options, "mnuHints", "Show Help Hints", 0, 1810);
  keepOnTopAction = MakeAction(options, "mnuKeepOnTop", "Keep On Top", 0, 1830);
  keepPositionAction = MakeAction(options, "mnuKeepPos", "Keep Position/Size", 0, 1840);
  trayIconAction = MakeAction(options, "mnuTrayIcon", "Tray Icon", 0, 1820);
  flatButtonsAction = MakeAction(options, "mnuFlatBtns", "Flat Buttons", 0, 1845);
  options->addSeparator();
  combinedCleanAction = MakeAction(options, "mnuCmbCrLfExtrSpc", "Combine CR/LF && Extra Spaces", 0, 1358);
  defaultCatalogAction = MakeAction(options, "mnuSetDefCat", "Set Default Catalog", 0, 1920);
  options->addSeparator();
  QMenu* database = options->addMenu("&Database");
  backupAction = MakeAction(database, "mnuBackup", "&Backup", 0, 1860);
  packAction = MakeAction(database, "mnuPack", "&Pack", 0, 1850);
  reindexAction = MakeAction(database, "mnuReindex", "Reindex", 0, 1865);

  QMenu* help = bar->addMenu("&Help");
  contentsAction = MakeAction(help, "mnuContents", "&Contents", 0, 0);
  aboutAction = MakeAction(help, "mnuAbout", "&About", 0, 0);

  for (QAction* a : {fullReportAction, shadedReportAction, boxReportAction, binderMarginAction, hintsAction, keepOnTopAction, keepPositionAction,
                     trayIconAction, flatButtonsAction, combinedCleanAction})
    a->setCheckable(true);
  hintsAction->setChecked(true);

  // F1 over an open menu shows the help of the highlighted item.
  menus = {files, records, catalog, reports, reportOptions, options, database, help};

}

void TMainWidgets::BuildBody(QMainWindow* window) {
  auto* central = new QWidget(window);
  auto* col = new QVBoxLayout(central);
  col->setContentsMargins(0, 0, 0, 0);
  col->setSpacing(0);
  col->addWidget(toolBar);

  catalogTabs = new QTabBar(central);
  catalogTabs->setObjectName("TabControl1");
  catalogTabs->setProperty(kHelp, 1400);
  catalogTabs->setExpanding(false);
  catalogTabs->setUsesScrollButtons(true);
  catalogTabs->setDrawBase(true);
  catalogTabs->setFocusPolicy(Qt::TabFocus);
  col->addWidget(catalogTabs);

  // The detail panel: path, size and date of the current record, and the
  // counters.
  detailPanel = new QFrame(central);
  detailPanel->setObjectName("Panel1");
  detailPanel->setFrameShape(QFrame::Panel);
  detailPanel->setFrameShadow(QFrame::Raised);
  detailPanel->setLineWidth(2);
  detailPanel->setFixedHeight(72);
  auto* detail = new QHBoxLayout(detailPanel);
  detail->setContentsMargins(6, 4, 6, 4);
  detail->setSpacing(6);
  auto* captions = new QVBoxLayout;
  captions->setSpacing(0);
  // The caption shows this platform's path separator.
  pathCaption = new QLabel("Path" + QString(QDir::separator()) + "File ", detailPanel);
  sizeCaption = new QLabel("File Size ", detailPanel);
  createdCaption = new QLabel("Created ", detailPanel);
  for (QLabel* l : {pathCaption, sizeCaption, createdCaption}) {
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    captions->addWidget(l);
  }
  pathCaption->setObjectName("Label1");
  sizeCaption->setObjectName("Label2");
  createdCaption->setObjectName("Label3");
  detail->addLayout(captions);

  fileLines = new QFrame(detailPanel);
  fileLines->setObjectName("Panel3");
  fileLines->setFrameShape(QFrame::Panel);
  fileLines->setFrameShadow(QFrame::Sunken);
  fileLines->setMinimumWidth(393);
  auto* lines = new QVBoxLayout(fileLines);
  lines->setContentsMargins(4, 1, 4, 1);
  lines->setSpacing(0);
  pathLabel = new TFileLabel(fileLines);
  pathLabel->setObjectName("FileLabel1");
  sizeLine = new QLabel(fileLines);
  sizeLine->setObjectName("Label8");
  createdLine = new QLabel(fileLines);
  createdLine->setObjectName("dbtxtCreated");
  lines->addWidget(pathLabel);
  lines->addWidget(sizeLine);
  lines->addWidget(createdLine);
  detail->addWidget(fileLines, 1);

  auto* counter = new QVBoxLayout;
  counter->setSpacing(0);
  countCaption = new QLabel("Files in Catalog", detailPanel);
  countCaption->setObjectName("Label5");
  countCaption->setAlignment(Qt::AlignCenter);
  auto* numbers = new QHBoxLayout;
  numbers->setSpacing(3);
  catalogCount = new QLabel("0", detailPanel);
  catalogCount->setObjectName("Label6");
  countSeparator = new QLabel("/", detailPanel);
  countSeparator->setObjectName("Label7");
  totalCount = new QLabel("0", detailPanel);
  totalCount->setObjectName("Label4");
  QFont bold = window->font();
  bold.setBold(true);
  for (QLabel* l : {catalogCount, totalCount}) l->setFont(bold);
  QPalette green = catalogCount->palette();
  green.setColor(QPalette::WindowText, kGreen);
  catalogCount->setPalette(green);
  QPalette navy = totalCount->palette();
  navy.setColor(QPalette::WindowText, kNavy);
  totalCount->setPalette(navy);
  numbers->addStretch(1);
  numbers->addWidget(catalogCount);
  numbers->addWidget(countSeparator);
  numbers->addWidget(totalCount);
  numbers->addStretch(1);
  counter->addStretch(1);
  counter->addWidget(countCaption);
  counter->addLayout(numbers);
  counter->addStretch(1);
  detail->addLayout(counter);
  col->addWidget(detailPanel);

  // The grid over the records and the description memo, with the splitter
  // between them.
  splitter = new QSplitter(Qt::Vertical, central);
  splitter->setObjectName("Splitter1");
  splitter->setHandleWidth(8);
  splitter->setChildrenCollapsible(false);
  recordGrid = new TRxDBGrid(splitter);
  recordGrid->setObjectName("RxDBGrid1");
  recordGrid->setProperty(kTag, 1);
  recordGrid->setProperty(kHelp, 1450);
  description = new QPlainTextEdit(splitter);
  description->setObjectName("DBMemo1");
  description->setProperty(kTag, 1);
  description->setProperty(kHelp, 1460);
  description->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  description->setReadOnly(true);
  splitter->addWidget(recordGrid);
  splitter->addWidget(description);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  col->addWidget(splitter, 1);
  window->setCentralWidget(central);
}

void TMainWidgets::BuildStatusBar(QMainWindow* window) {
  QStatusBar* bar = window->statusBar();
  bar->setObjectName("StatusBar1");
  bar->setProperty(kHelp, 1470);
  bar->setSizeGripEnabled(false);
  const int widths[3] = {358, 112, 112};
  for (int i = 0; i < 3; ++i) {
    statusPanels[i] = new QLabel(bar);
    statusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
    statusPanels[i]->setFrameShape(QFrame::Panel);
    statusPanels[i]->setFrameShadow(QFrame::Sunken);
    statusPanels[i]->setMinimumWidth(i == 0 ? 120 : widths[i]);
    if (i == 0) {
      statusPanels[i]->resize(widths[0], statusPanels[i]->height());
      bar->addWidget(statusPanels[i], 1);
    } else {
      statusPanels[i]->setFixedWidth(widths[i]);
      bar->addPermanentWidget(statusPanels[i]);
    }
  }
}

void TMainWidgets::BuildTray(QMainWindow* window) {
  trayMenu = new QMenu(window);
  trayMenu->setObjectName("PopupMenu1");
  trayOpenAction = trayMenu->addAction("Open");
  trayOpenAction->setObjectName("popmnuOpen");
  trayCloseAction = trayMenu->addAction("Close");
  trayCloseAction->setObjectName("popmnuClose");
  trayMenu->addSeparator();
  trayCancelAction = trayMenu->addAction("Cancel");
  trayCancelAction->setObjectName("popmnuCancel");
  trayIcon = new QSystemTrayIcon(icons::AppIcon(), window);
  trayIcon->setObjectName("TrayIcon");
  trayIcon->setToolTip("Vantrell");
  // Only the right button opens the menu; other clicks on the icon do nothing.
  trayIcon->setContextMenu(trayMenu);
}

