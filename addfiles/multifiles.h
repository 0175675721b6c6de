// The batch form: the confirmation of an add, move or delete of many
// records, with the list of what it will act on. Its action button runs the
// pass (with progress and Stop on a long one), its Exit leaves all as it was.
#pragma once

#include <QAbstractListModel>
#include <QDialog>
#include <QElapsedTimer>
#include <QListView>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

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

enum class BatchMode { Move = 10, Delete = 20, Add = 30, Cancelled = 100 };

class TfrmMultiFiles : public QDialog {
  Q_OBJECT

 public:
  TfrmMultiFiles(MainWindowServices& services, BatchMode mode, const QIcon& actionIcon, QWidget* parent = nullptr);

  // What the batch acts on: the files of a folder (add), or records by
  // number with their titles (move, delete).
  void SetFiles(const QString& folder, const QStringList& names);
  // Every file below `folder` that the mask lets through, listed as they
  // are found once the form is up (with a count, and Stop).
  void SetTree(const QString& folder, const QString& mask);
  void SetRecords(const std::vector<uint32_t>& records, const QStringList& titles);
  // The catalogs a move may go to, in name order.
  void SetMoveTargets(const QStringList& catalogs);

  BatchMode Mode() const { return mode_; }

  QToolButton* sbtnDM = nullptr;
  QToolButton* sbtnCancel = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* cbMove = nullptr;
  QLabel* Image1 = nullptr;
  TFileLabel* FileLabel1 = nullptr;
  TTextListBox* TextListBox1 = nullptr;
  QCheckBox* chkbxEditON = nullptr;
  QProgressBar* ProgressBar1 = nullptr;

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
  BatchMode mode_;
  QString folder_, treeMask_;
  bool listTree_ = false;
  QStringList names_;
  std::vector<uint32_t> records_;
  bool running_ = false, stopAsked_ = false;
  QElapsedTimer painted_;  // since the progress was last painted
};
