// The batch form: the confirmation of an add, move or delete of many
// records, with the list of what it will act on. Its action button runs the
// pass (with progress and Stop on a long one), its Exit leaves all as it was.
// The form shows what its controller says; the pass is the main window's
// batch service.
#pragma once

#include <QAbstractListModel>
#include <QDialog>
#include <QElapsedTimer>
#include <QListView>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

#include "batchcontroller.h"

class MainWindowServices;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QToolButton;
class TFileLabel;

// A read-only list of lines that grows at its end: what a batch acts on,
// 100,000 lines and more kept as the texts alone.
class TTextListBox : public QListView {
  Q_OBJECT

 public:
  explicit TTextListBox(QWidget* parent = nullptr);
  void addItems(const QStringList& lines) { model_->Append(lines); }
  int count() const { return (int)model_->lines.size(); }
  QString text(int row) const { return model_->lines.value(row); }

 private:
  struct Lines : QAbstractListModel {
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : (int)lines.size(); }
    QVariant data(const QModelIndex& index, int role) const override;
    void Append(const QStringList& more);
    QStringList lines;
  };
  Lines* model_;
};

class TfrmMultiFiles : public QDialog {
  Q_OBJECT

 public:
  TfrmMultiFiles(MainWindowServices& services, BatchMode mode, const QIcon& actionIcon, QWidget* parent = nullptr);
  ~TfrmMultiFiles() override;

  // What the batch acts on: the files of a folder (add), or records by
  // number with their titles (move, delete).
  void SetFiles(const QString& folder, const QStringList& names);
  // Every file below `folder` that the mask lets through, listed as they
  // are found once the form is up (with a count, and Stop).
  void SetTree(const QString& folder, const QString& mask);
  void SetRecords(const std::vector<uint32_t>& records, const QStringList& titles);
  // The catalogs a move may go to, in name order.
  void SetMoveTargets(const QStringList& catalogs);

  // The mode the form closed in: its own, or Cancelled after Exit.
  BatchMode Mode() const { return controller_->Mode(); }

 public slots:
  void sbtnDMClick();
  void sbtnCancelClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  bool Progress(int64_t done, int64_t total);
  void ListTree();

  MainWindowServices& services_;
  std::unique_ptr<addfiles::BatchController> controller_;
  QString treeMask_;
  bool listTree_ = false;
  bool running_ = false, stopAsked_ = false;
  QElapsedTimer painted_;  // since the progress was last painted

  QToolButton* actionButton_ = nullptr;  // Add, Move or Delete
  QToolButton* exitButton_ = nullptr;    // Exit, or Stop while a pass runs
  QGroupBox* actedOnGroup_ = nullptr;    // "Selected records"
  QGroupBox* catalogGroup_ = nullptr;
  QLabel* catalogName_ = nullptr;        // the shown catalog (add, delete)
  QComboBox* moveTarget_ = nullptr;      // the catalog a move goes to
  QLabel* folderIcon_ = nullptr;
  TFileLabel* folderPath_ = nullptr;     // the folder of the files added
  TTextListBox* actedOn_ = nullptr;      // what the batch acts on
  QCheckBox* editAfterAdd_ = nullptr;    // "Set Edit mode ON"
  QProgressBar* progressBar_ = nullptr;
};
