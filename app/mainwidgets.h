// The main window's widgets and actions, built in one place: tool bar, main
// menu, catalog tabs, detail panel, record grid, description memo, status
// bar and tray icon. Each carries its given name as objectName (help and
// tests find it by that name); the members are named for what they hold.
// Nothing here reacts to anything: the window makes the connections.
#pragma once

#include <QList>

#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMainWindow;
class QMenu;
class QObject;
class QPlainTextEdit;
class QSplitter;
class QString;
class QSystemTrayIcon;
class QTabBar;
class QToolButton;
class TFileLabel;
class TRxDBGrid;

class TMainWidgets {
 public:
  // The dynamic properties: the tag the command switches go by, and the
  // help topic F1 shows.
  static constexpr char kTag[] = "tag";
  static constexpr char kHelp[] = "helpTopic";

  void Build(QMainWindow* window);
  // The tool buttons and menu items with a tag, the grid and the memo.
  QList<QObject*> TaggedComponents() const;

  // The tool bar (Panel2) and its buttons.
  QFrame* toolBar = nullptr;
  QToolButton *catalogReportButton = nullptr, *recordReportButton = nullptr, *findButton = nullptr,
              *zipButton = nullptr, *lineBreaksButton = nullptr, *spacesButton = nullptr,
              *combinedCleanButton = nullptr, *launchButton = nullptr, *saveButton = nullptr, *editButton = nullptr,
              *addButton = nullptr, *moveButton = nullptr, *deleteButton = nullptr, *helpButton = nullptr,
              *exitButton = nullptr, *spareButton = nullptr;

  // The main menu.
  QAction *copyFileAction = nullptr, *moveFileAction = nullptr, *deleteFileAction = nullptr,
          *renameFileAction = nullptr, *createFolderAction = nullptr, *launchAction = nullptr, *exitAction = nullptr;
  QAction *saveAction = nullptr, *editAction = nullptr, *addAction = nullptr, *moveAction = nullptr,
          *deleteAction = nullptr, *selectAllAction = nullptr, *unselectAllAction = nullptr, *searchAction = nullptr,
          *lineBreaksAction = nullptr, *spacesAction = nullptr, *zipAction = nullptr;
  QAction *addCatalogAction = nullptr, *deleteCatalogAction = nullptr, *renameCatalogAction = nullptr;
  QAction *volumesAction = nullptr, *compareDiskAction = nullptr;
  QAction *catalogReportAction = nullptr, *recordReportAction = nullptr, *fullReportAction = nullptr,
          *shadedReportAction = nullptr, *boxReportAction = nullptr, *binderMarginAction = nullptr;
  QAction *hintsAction = nullptr, *keepOnTopAction = nullptr, *keepPositionAction = nullptr,
          *trayIconAction = nullptr, *flatButtonsAction = nullptr, *combinedCleanAction = nullptr,
          *defaultCatalogAction = nullptr, *backupAction = nullptr, *packAction = nullptr, *reindexAction = nullptr;
  QAction *contentsAction = nullptr, *aboutAction = nullptr;
  // The menus whose items F1 explains.
  QList<QMenu*> menus;

  // The catalog tabs (TabControl1).
  QTabBar* catalogTabs = nullptr;

  // The detail panel (Panel1): captions, the current record's path, size
  // and date lines (in Panel3), and the two record counts.
  QFrame* detailPanel = nullptr;
  QLabel *pathCaption = nullptr, *sizeCaption = nullptr, *createdCaption = nullptr;
  QFrame* fileLines = nullptr;
  TFileLabel* pathLabel = nullptr;
  QLabel* sizeLine = nullptr;
  QLabel* createdLine = nullptr;
  QLabel* countCaption = nullptr;
  QLabel* catalogCount = nullptr;  // records in the shown catalog (Label6)
  QLabel* countSeparator = nullptr;
  QLabel* totalCount = nullptr;  // records in all catalogs (Label4)

  // The record grid and the description memo, with the splitter between.
  QSplitter* splitter = nullptr;
  TRxDBGrid* recordGrid = nullptr;
  QPlainTextEdit* description = nullptr;

  // The status bar: messages, volume label, state.
  QLabel* statusPanels[3] = {nullptr, nullptr, nullptr};

  // The tray icon and its menu.
  QSystemTrayIcon* trayIcon = nullptr;
  QMenu* trayMenu = nullptr;
  QAction *trayOpenAction = nullptr, *trayCloseAction = nullptr, *trayCancelAction = nullptr;

  std::vector<QToolButton*> buttons;
  std::vector<QAction*> actions;

 private:
  void BuildToolBar(QMainWindow* window);
  void BuildMenus(QMainWindow* window);
  void BuildBody(QMainWindow* window);
  void BuildStatusBar(QMainWindow* window);
  void BuildTray(QMainWindow* window);
  QToolButton* MakeButton(const char* name, const QString& icon, const QString& hint, int tag, bool latching);
  QAction* MakeAction(QMenu* menu, const char* name, const QString& text, int tag, int help);
};
