// Catalog > Compare with Disk...: the current catalog against the files of
// its volumes. The compare runs when the window opens (files looked at
// counted, Stop), then lists what is new, changed, missing or moved in a
// grid; Apply brings the ticked entries into the catalog.
#pragma once

#include <QDialog>
#include <QTimer>

#include <array>
#include <memory>

#include "comparemodel.h"
#include "diskservice.h"

class MainWindowServices;
class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;

class TfrmCompare : public QDialog {
  Q_OBJECT

 public:
  TfrmCompare(MainWindowServices& services, QWidget* parent = nullptr);
  ~TfrmCompare() override;

  disks::CompareModel& Model() { return *model_; }
  bool Running() const { return running_; }

 public slots:
  // Compares the catalog with its disks (again).
  void Compare();
  void btnApplyClick();
  void btnStopClick();
  void btnCloseClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  // The run on the worker: buttons and progress while it lasts.
  void BeginRun(const QString& what);
  void EndRun();
  void ShowProgress();
  void ShowCounts();
  void ShowResult(const store::DiffResult& diff);

  MainWindowServices& services_;
  QString catalog_;
  disks::CompareModel* model_;
  disks::RunState state_;
  bool running_ = false, closeAsked_ = false, compared_ = false;
  QString runText_;
  QTimer tick_;

  QLabel* notConnected_;     // volumes not connected: not compared
  QListWidget* skipped_;     // folders not read, names not stored
  QLabel* counts_;           // entries per kind
  std::array<QCheckBox*, disks::CompareModel::kKinds> kindBoxes_{};
  QTableView* grid_;
  QLabel* progressText_;
  QProgressBar* progressBar_;
  QPushButton *applyButton_, *stopButton_, *closeButton_;
};
