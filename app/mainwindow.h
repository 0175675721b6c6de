// The main window: tool bar, catalog tabs, detail panel, record grid,
// description memo and status bar, with the main menu and the tray icon.
//
// The window builds its widgets and keeps the handlers of their given
// names; what a handler decides is worked out by the browse library. Other
// windows reach it through MainWindowServices. Its widgets are private: each
// carries its given name as objectName.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "catalog.h"
#include "commandtags.h"
#include "catalogform.h"
#include "datamodule.h"
#include "multifiles.h"
#include "descriptioncleanup.h"
#include "descriptiontext.h"
#include "mainwindowservices.h"
#include "recordcounts.h"
#include "recordedit.h"
#include "recordfields.h"
#include "recordview.h"
#include "cataloglayout.h"
#include "reportsystem.h"
#include "tablebatch.h"
#include "tablerecordsession.h"
#include "tablesearch.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QSystemTrayIcon;
class QTabBar;
class QTimer;
class QToolButton;
class TDataModule1;
class TFileLabel;
class TfrmAddToCatalog;
class TRxDBGrid;
class TSettings;

class TfrmVantrell : public QMainWindow, public MainWindowServices {
  Q_OBJECT

 public:
  static constexpr int kMaxCatalogs = store::kMaxCatalogs;

  // Runs the creation steps: opens the records and catalog-names tables,
  // loads the settings, builds the tabs. Throws when a table cannot be
  // opened (the message names the file).
  TfrmVantrell(TDataModule1& dm, const QString& dataFolder, QWidget* parent = nullptr);
  ~TfrmVantrell() override;

  // --- MainWindowServices ---
  QWidget* Window() override { return this; }
  void ShowStatus(const QString& text) override;
  TSettings& Settings() override { return *settings_; }
  RecordSession& Record() override { return recordSession_; }
  search::SearchService& Search() override { return search_; }
  addfiles::BatchService& Batch() override { return batch_; }
  QString CurrentCatalog() const override;
  int CatalogRecordCount() const override;
  void SetCatalogRecordCount(int count) override;
  int TotalRecordCount() const override;
  void SetTotalRecordCount(int count) override;
  void ApplyFlatButtons(QWidget* window) override;
  void ShowRecord(const QString& catalog, uint32_t recno) override;
  QString CurrentRecordPath() override;
  bool PasteIntoDescription(const QString& text) override;
  QString TakeZipExtractionFolder() override;

  const QString& DataFolder() const { return dataFolder_; }
  // Whether the window starts hidden in the tray (tray option on at start).
  bool StartsInTray() const { return startInTray_; }
  // The text of a status panel (0 messages, 1 volume label, 2 state).
  QString StatusText(int panel) const;

  // --- catalog tabs and record view ---
  void LoadCatalogTabs();
  void SelectCatalog(const QString& name);
  void SelectTab(int index);
  bool IsDriveReady(QChar drive);
  void ShowVolumeLabel();

  // The file of the current record was found on disk, or nothing was
  // checked; false while its check is still running.
  bool FilePresent() const { return recordView_->FilePresent(); }
  // The check of the current record's file has not answered yet.
  bool FileCheckPending() const { return recordView_->CheckPending(); }
  // Why the current record may not be written ("" when it may).
  QString CurrentRecordRefusal() const { return recordView_->WriteRefusal(); }
  // How long the file check may take before the file counts as unreachable.
  void SetFileCheckTimeout(int ms) { recordView_->SetCheckTimeout(ms); }

  // The report systems of the catalog and the record report: their
  // destination and setup dialog.
  report::TReportSystem ReportSystem1, ReportSystem2;

 public slots:
  void TabControl1Change();
  void sbtnCatRptClick();
  void sbtnRecRptClick();
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
  void sbtnEditClick();
  void mnuRecEditClick();
  void sbtnSaveClick();
  void mnuSelAllClick();
  void sbtnFindClick();
  void mnuUnSelAllClick();
  void sbtnClrCRLFClick();
  void sbtnRemExtraSpcsClick();
  void sbtnCmbCLESClick();
  void FileLabel1DblClick();
  void sbtnAddClick();
  void mnuRecAddClick();
  void mnuAddCatClick();
  void mnuRenCatClick();
  void ShowCatalogForm(QAction* invoker);
  // The File menu's commands on the current record's file (fileslots.cpp).
  void mnuFileOpsClick(QAction* invoker);
  void sbtnRunAppClick();
  // Options > Database (maintslots.cpp).
  void mnuBackupClick();
  void mnuPackClick();
  void mnuReindexClick();
  // The zip archive window of the current record's archive (zipslots.cpp).
  void sbtnZipArchClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  reports::Options ReportOptions() const;
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
  void CleanMemo(browse::Cleanup how);
  // Before a command leaves the record being edited: the title cell being
  // typed in is taken into the record, then browse::EndEdit settles it (a
  // stored new record raises the counters). False when the user chose to
  // stay in the record, or its save failed (the error was shown).
  bool LeaveEdit(browse::LeaveEdit how);
  bool PerformCatalogCommand(browse::CatalogCommand command, const QString& oldName, const QString& name);
  void RebuildCatalogTabs();
  void SetRecordFile();
  TfrmAddToCatalog* AddFilesDialog();
  // Runs the batch form in a mode; returns the mode it closed in.
  BatchMode StartBatch(BatchMode mode);
  // The entry check of Move and Delete: a batch only with selected rows.
  void MoveOrDelete(QToolButton* invoker);
  void ShowRecord(bool fieldOnly);
  void ShowMemo();
  void ShowFile();
  void ApplySwitches(const browse::TagSwitches& s);
  // Every command that would write switched off, with the reason as hint.
  void ApplyReadOnly();
  // Runs a command that touches the tables; an engine error becomes one
  // "Error" box and the tables are left browsing. False after an error.
  bool RunCommand(const std::function<void()>& command);
  // Runs a pack or reindex (`work`, given the catalog's showing and the
  // progress to tell) with the status text `started` and a progress bar,
  // the grid's reads held off meanwhile. After a failure the catalog, the
  // record and the second cursor are as they were. False after a failure.
  bool RunMaintenance(const QString& started,
                      const std::function<void(const std::function<void()>& showCatalog,
                                               const std::function<void(double)>& progress)>& work);
  // Reports bad data met while showing the record in a box shown from the
  // event loop (never from inside a repaint or a table notification); once
  // per key, when a key is given.
  void ReportDamage(const QString& key, const QString& text);
  void ShowPendingDamage();
  void ShowHelpTopic(int topic);
  int HelpTopicOf(QObject* o) const;
  QToolButton* MakeButton(const char* name, const QString& icon, const QString& hint, int tag, bool latching);
  QAction* MakeAction(QMenu* menu, const char* name, const QString& text, int tag, int help);
  QList<QObject*> TaggedComponents() const;

  // --- components, by their names in the program ---
  QFrame* Panel1 = nullptr;
  QFrame* Panel2 = nullptr;
  QFrame* Panel3 = nullptr;
  QTabBar* TabControl1 = nullptr;
  TFileLabel* FileLabel1 = nullptr;
  TfrmAddToCatalog* frmAddToCatalog = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;  // records in all catalogs
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;  // records in the shown catalog
  // What Label6 and Label4 show.
  RecordCounts counts_;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;  // size line
  QLabel* dbtxtCreated = nullptr;
  TRxDBGrid* RxDBGrid1 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QPlainTextEdit* DBMemo1 = nullptr;
  // The control that had the keyboard focus before Keep On Top changed.
  QPointer<QWidget> refocus_;
  // Why the database cannot be changed, in lines for a hint ("" when it can).
  QString readOnly_;
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

  TDataModule1& dm_;
  QString dataFolder_;
  std::unique_ptr<TSettings> settings_;
  std::vector<QToolButton*> buttons_;
  std::vector<QAction*> actions_;
  QList<QToolButton*> latchGroup_;
  bool startInTray_ = false;
  bool firstShowDone_ = false;
  bool memoUpdating_ = false;
  // The description the memo shows, as stored: an edit keeps the bytes it
  // does not touch, line breaks as they were read.
  browse::TDescriptionText description_;
  bool hintsOn_ = true;
  // What start-up repaired (an index file rebuilt), shown in the status bar
  // once the first record's file check has answered.
  QStringList startNotes_;
  QPointer<QMenu> openMenu_;

  // The record shown and its file; the read errors already reported.
  browse::TRecordView* recordView_ = nullptr;
  browse::DamageLog damageLog_;
  QStringList pendingDamage_;
  bool damageScheduled_ = false;
  // The record a command's status text tells of (0: an empty catalog): its
  // file check, which answers later, does not overwrite that text until the
  // timer clears it.
  bool statusHeld_ = false;
  uint32_t statusHeldFor_ = 0;
  // The catalog ApTable1 shows, whose tab a refused tab change goes back to.
  QString shownCatalog_;
  // What the other windows ask of the tables (MainWindowServices).
  browse::TableRecordSession recordSession_{dm_.ApTable1, counts_, this};
  search::TableSearch search_{dm_.ApTable3};
  addfiles::TableBatch batch_{dm_.ApTable1, counts_};
  // The zip window's extraction folder, until a file operation takes it.
  QString zipExtractionFolder_;
};
