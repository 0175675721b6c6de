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

  // The archive's full path, as the window shows it.
  QString ArchivePath() const;
  // The listed entries, one row each.
  const TZipEntries& EntryModel() const { return *entries_; }
  // The text of status panel 0 (the extraction folder), 1 (the count of
  // entries) or 2 (the count of files the last extraction wrote).
  QString StatusText(int panel) const;

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

  // The overwrite choice of the last Extract: the one handed in by the
  // caller (an earlier window's) until this window's first Extract. The
  // text viewer extracts with it.
  bool LastOverwrite() const { return lastOverwrite_; }
  void SetLastOverwrite(bool overwrite) { lastOverwrite_ = overwrite; }

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
  bool lastOverwrite_ = false;
  bool busy_ = false;
  bool cancel_ = false;
  bool closeWhenDone_ = false;

  // The widgets; each carries its given name as objectName.
  QLabel* archivePathLabel_ = nullptr;  // ZipFName
  QToolButton* extractButton_ = nullptr;  // sbtnExtract
  QToolButton* exitButton_ = nullptr;     // sbtnExit
  QTableView* entryGrid_ = nullptr;       // StringGrid2
  TZipEntries* entries_ = nullptr;        // what the grid shows
  QProgressBar* progressBar_ = nullptr;   // ProgressBar1
  QToolButton* browseButton_ = nullptr;   // sbtnBrowse
  QRadioButton* expandNo_ = nullptr;  // "Expand Folders"
  QRadioButton* expandYes_ = nullptr;
  QRadioButton* overwriteNo_ = nullptr;  // "Overwrite Existing"
  QRadioButton* overwriteYes_ = nullptr;
  QRadioButton* extractAll_ = nullptr;  // "Extract Files"
  QRadioButton* extractSelected_ = nullptr;
  QLabel* statusPanels_[3] = {};  // the folder, the entry count, the files extracted
};
