// The search window: every catalog searched at once for a piece of the
// file's path or title, every match listed, and a double-click showing the
// match in the main window while the search stays open.
#pragma once

#include <QDialog>

#include <cstdint>

class MainWindowServices;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTableView;
class QToolButton;
class TSearchResults;

class TfrmSearch : public QDialog {
  Q_OBJECT

 public:
  // `showRecord` is the main window's: show record `recno` of catalog
  // `catalog` (its tab made current), leaving the search open.
  TfrmSearch(MainWindowServices& services, QWidget* parent = nullptr);

  QRadioButton* RadioButton1 = nullptr;  // "File Name"
  QRadioButton* RadioButton2 = nullptr;  // "File Title"
  QLineEdit* Edit1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;  // the number of matches
  QToolButton* sbtnSearch = nullptr;
  QToolButton* sbtnExit = nullptr;
  QTableView* StringGrid1 = nullptr;
  TSearchResults* Results = nullptr;

 public slots:
  void sbtnSearchClick();
  void StringGrid1DblClick();
  void sbtnExitClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  void CloseTable();

  MainWindowServices& services_;
  bool searching_ = false;
};
