// The view interfaces of the main window's controllers, put on its
// widgets: each class shows what its controller says and hands back what
// the user chose.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

#include "catalogtabs.h"
#include "maintenancecommands.h"
#include "recordcommands.h"

class MainWindowServices;
class QProgressBar;
class QWidget;
class TfrmAddToCatalog;
class TMainWidgets;
class TRecordPanel;

class TCatalogTabsWidgets : public CatalogTabsView {
 public:
  // `flat` makes a window's buttons follow the Flat Buttons option.
  TCatalogTabsWidgets(TMainWidgets& ui, QWidget* window, std::function<void(QWidget*)> flat);

  QStringList TabNames() const override;
  int CurrentTab() const override;
  void SetTabs(const QStringList& names) override;
  void SetCurrentTab(int index) override;
  void ResetRecords() override;
  void FocusRecords() override;
  void EnableCatalogCommand(browse::CatalogCommand command, bool on) override;
  void RunCatalogForm(browse::CatalogCommand command, const QString& current, const QStringList& names,
                      int recordCount, const std::function<bool(const QString&)>& perform) override;

 private:
  TMainWidgets& ui_;
  QWidget* window_;
  std::function<void(QWidget*)> flat_;
};

class TRecordWidgets : public RecordsView {
 public:
  TRecordWidgets(TMainWidgets& ui, QWidget* window, MainWindowServices& services, const TRecordPanel& panel);

  bool Latched(Latch button) const override;
  void SetLatched(Latch button, bool down) override;
  void CommitCellEdit() override;
  void FocusRecords() override;
  void ResetRecords() override;
  int SelectedCount() const override;
  std::vector<uint32_t> SelectedRecords() const override;
  void ClearSelection() override;
  void SelectAllRecords() override;
  QString WriteRefusal() const override;
  bool DescriptionReadOnly() const override;
  void CleanDescription(browse::Cleanup how) override;
  void InsertIntoDescription(const QString& text) override;
  bool ChooseFiles(const QString& title) override;
  QString ChosenPath() const override;
  BatchMode RunBatch(BatchMode mode, const BatchRecords& records) override;

 private:
  QToolButton* Button(Latch button) const;
  // The files window, made at its first use (reading its folders costs the
  // start nothing), then kept for the whole run: its folder, mask and
  // label carry over from one use to the next.
  TfrmAddToCatalog* AddFilesDialog();

  TMainWidgets& ui_;
  QWidget* window_;
  MainWindowServices& services_;
  const TRecordPanel& panel_;
  TfrmAddToCatalog* addFiles_ = nullptr;
};

class TMaintenanceWidgets : public MaintenanceView {
 public:
  TMaintenanceWidgets(TMainWidgets& ui, QWidget* window);
  ~TMaintenanceWidgets() override;

  void Repaint() override;
  void SetBusy(bool busy) override;
  void BeginPass() override;
  void ShowProgress(double done) override;
  void EndPass() override;
  void ResetRecords() override;
  void RecordsRenumbered() override;

 private:
  TMainWidgets& ui_;
  QWidget* window_;
  QPointer<QProgressBar> bar_;
  std::unique_ptr<QObject> holdOpen_;
};
