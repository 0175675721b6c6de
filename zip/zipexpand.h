// The zip archive window: the entries of the archive the current record
// catalogues, listed with their sizes and dates, and all or the selected
// ones extracted into a chosen folder, with or without their folders.
#pragma once

#include <QDialog>
#include <QStringList>

#include <vector>

#include "ziplister.h"

class MainWindowServices;
class QLabel;
class QProgressBar;
class QRadioButton;
class QTableView;
class QToolButton;
class TZipEntries;

class TfrmZipExpand : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmZipExpand(MainWindowServices& services, QWidget* parent = nullptr);
  ~TfrmZipExpand() override;

  QLabel* ZipFName = nullptr;  // the archive's full path
  QToolButton* sbtnExtract = nullptr;
  QToolButton* sbtnExit = nullptr;
  QTableView* StringGrid2 = nullptr;
  TZipEntries* Entries = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QToolButton* sbtnBrowse = nullptr;
  QRadioButton* ExpandNo = nullptr;  // "Expand Folders"
  QRadioButton* ExpandYes = nullptr;
  QRadioButton* OverwriteNo = nullptr;  // "Overwrite Existing"
  QRadioButton* OverwriteYes = nullptr;
  QRadioButton* ExtractAll = nullptr;  // "Extract Files"
  QRadioButton* ExtractSelected = nullptr;
  QLabel* StatusPanel[3] = {};

  // The folder the entries are extracted into, ending in a separator: the
  // remembered one at first, then the one the user browsed to.
  const QString& ExtractionFolder() const { return extractionFolder_; }
  void SetExtractionFolder(const QString& folder);

  // Lists the current record's archive again and refills the grid.
  void ListArchive();
  // The problem the last listing met ("" when it listed cleanly).
  const QString& ListingError() const { return listingError_; }

  // Extracts `names` (all entries when empty) into `folder` with the given
  // choices, showing progress and the library's problems. Returns the
  // number of files written; -1 when an extraction was already running.
  int RunExtraction(const QString& folder, const QStringList& names, bool dirNames, bool overwrite);

  // The overwrite choice the last Extract read (false before the first).
  static bool LastOverwrite();

 public slots:
  void sbtnExtractClick();
  void sbtnBrowseClick();
  void StringGrid2DblClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  MainWindowServices& services_;
  QString extractionFolder_;
  QString listingError_;
  bool busy_ = false;
  bool cancel_ = false;
  bool closeWhenDone_ = false;
};
