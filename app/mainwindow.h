// The main window: tool bar, catalog tabs, detail panel, record grid,
// description memo and status bar, with the main menu and the tray icon.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <vector>

class QFrame;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QSystemTrayIcon;
class QTabBar;
class TDataModule1;
class TFileLabel;
class TRxDBGrid;
class TSettings;

class TfrmVantrell : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kMaxCatalogs = 40;

  // Runs the creation steps: opens the records and catalog-names tables,
  // loads the settings, builds the tabs. Throws when a table cannot be
  // opened (the message names the file).
  TfrmVantrell(TDataModule1& dm, const QString& dataFolder, QWidget* parent = nullptr);
  ~TfrmVantrell() override;

  TDataModule1& DataModule() { return dm_; }
  TSettings& Settings() { return *settings_; }
  const QString& DataFolder() const { return dataFolder_; }

  // Whether the window starts hidden in the tray (tray option on at start).
  bool StartsInTray() const { return startInTray_; }

  // --- catalog tabs and record view ---
  void LoadCatalogTabs();
  void SelectCatalog(const QString& name);
  void SelectTab(int index);
  QString CurrentCatalog() const;
  bool IsDriveReady(QChar drive);
  void ShowVolumeLabel();

  // --- status bar ---
  // A message in the first panel that is cleared 5 seconds later.
  void ShowStatus(const QString& text);
  QString StatusText(int panel) const;

  // Every tool button of a window flat or raised by the "Flat Buttons" option.
  void ApplyFlatButtons(QWidget* window);

  // The file of the current record was found on disk (or nothing was checked).
  bool FilePresent() const { return filePresent_; }

  // --- components, by their names in the program ---
  QFrame* Panel1 = nullptr;
  QFrame* Panel2 = nullptr;
  QFrame* Panel3 = nullptr;
  QTabBar* TabControl1 = nullptr;
  TFileLabel* FileLabel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;  // records in all catalogs
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;  // records in the shown catalog
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;  // size line
  QLabel* dbtxtCreated = nullptr;
  TRxDBGrid* RxDBGrid1 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QPlainTextEdit* DBMemo1 = nullptr;
  QLabel* StatusPanel[3] = {nullptr, nullptr, nullptr};
  QTimer* Timer1 = nullptr;
  QSystemTrayIcon* TrayIcon = nullptr;
  QMenu* PopupMenu1 = nullptr;

  QToolButton *sbtnCatRpt, *sbtnRecRpt, *sbtnFind, *sbtnZipArch, *sbtnClrCRLF, *sbtnRemExtraSpcs,
      *sbtnRunApp, *sbtnSave, *sbtnEdit, *sbtnAdd, *sbtnMove, *sbtnTrash, *sbtnHelp, *sbtnExit,
      *sbtnCmbCLES, *sbtnDummy;

  QAction *mnuFlCopy, *mnuFlMove, *mnuFlDelete, *mnuFlRename, *mnuCreateDir, *mnuRunApp, *mnuExit;
  QAction *mnuRecSave, *mnuRecEdit, *mnuRecAdd, *mnuMove, *mnuRecDel, *mnuSelAll, *mnuUnSelAll, *mnuSearch,
      *mnuClrCrLf, *mnuRemExtraSpc, *mnuVuZip;
  QAction *mnuAddCat, *mnuDelCat, *mnuRenCat;
  QAction *mnuCatRpt, *mnuRecRpt, *mnuFull, *mnuShaded, *mnuHdrFtrBox, *mnuLftMrgn;
  QAction *mnuHints, *mnuKeepOnTop, *mnuKeepPos, *mnuTrayIcon, *mnuFlatBtns, *mnuCmbCrLfExtrSpc, *mnuSetDefCat,
      *mnuBackup, *mnuPack, *mnuReindex;
  QAction *mnuContents, *mnuAbout;
  QAction *popmnuOpen, *popmnuClose, *popmnuCancel;

  int CurrentTabIndex = 0;
  bool QuitFlag = false;

 public slots:
  void TabControl1Change();
  void DataSource1DataChange(const QString& field);
  void DataSource1StateChange();
  void DataSource2DataChange(const QString& field);
  void RxDBGrid1TitleBtnClick(int column);
  void Timer1Timer();
  void popmnuOpenClick();
  void popmnuCloseClick();
  void sbtnExitClick();
  void mnuContentsClick();
  void mnuAboutClick();
  void mnuHintsClick();
  void mnuCmbCrLfExtrSpcClick();
  void mnuKeepOnTopClick();
  void mnuKeepPosClick();
  void mnuTrayIconClick();
  void mnuFlatBtnsClick();
  void mnuFullClick();
  void mnuShadedClick();
  void mnuHdrFtrBoxClick();
  void mnuLftMrgnClick();
  void mnuSetDefCatClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildMenus();
  void BuildBody();
  void BuildStatusBar();
  void BuildTray();
  void LoadSettings();
  void FormShow();
  void PlaceCombinedButton(bool combined);
  void SetKeepOnTop(bool on);
  void ReleaseLatched(QToolButton* except = nullptr);
  void LatchClicked(QToolButton* b);
  void GridRowChosen(int row);
  void MemoEdited();
  void ShowRecordFields();
  void ShowHelpTopic(int topic);
  int HelpTopicOf(QObject* o) const;
  QToolButton* MakeButton(const char* name, const QString& icon, const QString& hint, int tag, bool latching);
  QAction* MakeAction(QMenu* menu, const char* name, const QString& text, int tag, int help);
  QList<QObject*> TaggedComponents() const;

  TDataModule1& dm_;
  QString dataFolder_;
  std::unique_ptr<TSettings> settings_;
  std::vector<QToolButton*> buttons_;
  std::vector<QAction*> actions_;
  QList<QToolButton*> latchGroup_;
  bool filePresent_ = true;
  bool startInTray_ = false;
  bool firstShowDone_ = false;
  bool memoUpdating_ = false;
  bool hintsOn_ = true;
  QPointer<QMenu> openMenu_;
};

// The main window of the running program (null before it exists and after
// it is gone); other windows reach the settings and the status bar through it.
extern TfrmVantrell* frmVantrell;
