// A stand-in for the main window, as the windows under test ask it: the
// status texts it was given, the settings, the record session over a data
// module's records table, the zip window's extraction folder. What a suite
// does not expect of it throws: the search, the batch passes, the disks, and the
// record session when it was given no data module.
#pragma once

#include <QStringList>

#include <memory>

#include "mainwindowservices.h"
#include "settings.h"
#include "tablerecordsession.h"

class TDataModule1;

namespace testsupport {

class StandInWindow : public MainWindowServices {
 public:
  // `dm`: the data module whose records cursor and counts the record
  // session works on, as the main window's does (none: Record() throws).
  // `settingsFile`: an ini file of the test's own ("": the user's
  // settings, which the test points at a folder of its own).
  explicit StandInWindow(TDataModule1* dm = nullptr, const QString& settingsFile = {});
  ~StandInWindow() override;

  QWidget* Window() override { return nullptr; }
  void ShowStatus(const QString& text) override;
  TSettings& Settings() override { return *settings_; }
  RecordSession& Record() override;
  search::SearchService& Search() override;
  addfiles::BatchService& Batch() override;
  disks::DiskService& Disks() override;
  QString CurrentCatalog() const override { return "C"; }
  void ApplyFlatButtons(QWidget*) override { ++flatPasses; }
  QString TakeZipExtractionFolder() override;

  // A text of the first status panel that leaves its clearing timer alone.
  void SetStatusText(const QString& text) { panel << text; }
  // The last text of the first status panel ("" before the first).
  QString LastStatus() const { return panel.isEmpty() ? QString() : panel.last(); }

  QStringList panel;   // every text of the first status panel, in order
  QStringList timed;   // those of them that started its clearing timer
  QString pasted;      // the texts pasted into the current record's description
  int flatPasses = 0;  // the windows made to follow the Flat Buttons option
  QString zipFolder;   // the zip window's extraction folder, as the main window keeps it

 private:
  std::unique_ptr<TSettings> settings_;
  std::unique_ptr<browse::TableRecordSession> record_;
};

}  // namespace testsupport
