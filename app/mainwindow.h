// The main window: tool bar, catalog tabs, detail panel, record grid,
// description memo and status bar, with the main menu and the tray icon.
//
// The window builds its widgets (TMainWidgets), makes every connection in
// one place and owns the controllers that do the work: the catalog tabs,
// the record commands, the database passes, the reports, the File menu and
// the window's own options. What the controllers show goes through their
// view interfaces (mainviews.h) and the record panel. Other windows reach
// the main window through MainWindowServices (Services()).
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <memory>

#include "mainwidgets.h"
#include "windowoptions.h"

class MainContext;
class MainWindowServices;
class TCatalogTabs;
class TCatalogTabsWidgets;
class TDatabaseMaintenance;
class TDiskCommands;
class TDataModule1;
class TFileMenu;
class TMaintenanceWidgets;
class TMainServices;
class TRecordCommands;
class TRecordPanel;
class TRecordWidgets;
class TReportCommands;
class TSettings;
class TStatusPanels;

class TfrmVantrell : public QMainWindow, private OptionsView {
  Q_OBJECT

 public:
  // Runs the creation steps: opens the records and catalog-names tables,
  // loads the settings, builds the tabs. Throws when a table cannot be
  // opened (the message names the file).
  TfrmVantrell(TDataModule1& dm, const QString& dataFolder, QWidget* parent = nullptr);
  ~TfrmVantrell() override;

  MainWindowServices& Services();
  const QString& DataFolder() const { return dataFolder_; }
  // Whether the window starts hidden in the tray (tray option on at start).
  bool StartsInTray() const { return startInTray_; }
  // The text of a status panel (0 messages, 1 volume label, 2 state).
  QString StatusText(int panel) const;

  TStatusPanels& Status() { return *status_; }
  TCatalogTabs& Catalogs() { return *tabs_; }
  TRecordCommands& Records() { return *records_; }
  TRecordPanel& RecordPanel() { return *panel_; }
  TReportCommands& Reports() { return *reports_; }

 public slots:
  void popmnuOpenClick();
  void popmnuCloseClick();
  void sbtnExitClick();
  void mnuContentsClick();
  void mnuAboutClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void changeEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Every signal of the widgets and the tables to the controller of its job.
  void ConnectCommands();
  void ConnectRecordCommands();
  // Opens the two tables the window shows; throws naming the file.
  void OpenTables();
  void LoadSettings();
  void ShowHelpTopic(int topic);
  int HelpTopicOf(QObject* o) const;
  // Makes a window's tool buttons follow the "Flat Buttons" option.
  void ApplyFlatButtonsTo(QWidget* window);

  // OptionsView
  void PlaceCombinedButton(bool combined) override;
  void SetKeepOnTop(bool on) override;
  void ApplyFlatButtons() override { ApplyFlatButtonsTo(this); }

  TDataModule1& dm_;
  QString dataFolder_;
  std::unique_ptr<TSettings> settings_;
  TMainWidgets ui_;
  std::unique_ptr<TStatusPanels> status_;
  std::unique_ptr<MainContext> context_;
  TRecordPanel* panel_ = nullptr;
  std::unique_ptr<TWindowOptions> options_;
  std::unique_ptr<TCatalogTabsWidgets> tabsView_;
  std::unique_ptr<TRecordWidgets> recordsView_;
  std::unique_ptr<TMaintenanceWidgets> maintenanceView_;
  std::unique_ptr<TRecordCommands> records_;
  std::unique_ptr<TCatalogTabs> tabs_;
  std::unique_ptr<TMainServices> services_;
  std::unique_ptr<TDatabaseMaintenance> maintenance_;
  std::unique_ptr<TReportCommands> reports_;
  std::unique_ptr<TFileMenu> fileMenu_;
  std::unique_ptr<TDiskCommands> diskCommands_;

  // The control that had the keyboard focus before Keep On Top changed.
  QPointer<QWidget> refocus_;
  // Close quits, even with the tray option on (the tray menu's Close).
  bool quitting_ = false;
  bool startInTray_ = false;
};
