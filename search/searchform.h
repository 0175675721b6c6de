// The search window: every catalog searched at once for a piece of the
// file's path or title, every match listed, and a double-click showing the
// match in the main window while the search stays open. The window builds
// its widgets and shows what its controller says; the search itself is the
// controller's, over the main window's search service.
#pragma once

#include <QDialog>

#include <memory>

class MainWindowServices;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTableView;
class QToolButton;

namespace search {
class SearchController;
}

class TfrmSearch : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmSearch(MainWindowServices& services, QWidget* parent = nullptr);
  ~TfrmSearch() override;

 public slots:
  void sbtnSearchClick();
  // Shows the record of the current row in the main window (its tab made
  // current), leaving the search open.
  void StringGrid1DblClick();
  void sbtnExitClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  MainWindowServices& services_;
  std::unique_ptr<search::SearchController> controller_;
  QRadioButton* byPath_ = nullptr;   // "File Name"
  QRadioButton* byTitle_ = nullptr;  // "File Title"
  QLineEdit* searchText_ = nullptr;
  QLabel* foundCaption_ = nullptr;  // "Files found"
  QLabel* hitCount_ = nullptr;
  QToolButton* searchButton_ = nullptr;
  QToolButton* exitButton_ = nullptr;
  QTableView* hitGrid_ = nullptr;
};
