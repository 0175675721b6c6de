// What the program's other windows may ask of the main window, answered by
// the main window's controllers.
#pragma once

#include <functional>

#include "mainwindowservices.h"
#include "tablebatch.h"
#include "tabledisks.h"
#include "tablerecordsession.h"
#include "tablesearch.h"

class MainContext;
class TCatalogTabs;
class TRecordCommands;
class TRecordPanel;

class TMainServices : public MainWindowServices {
 public:
  // `flat` makes a window's tool buttons follow the Flat Buttons option;
  // `disks` are the main window's part in the compare with the disk.
  TMainServices(QWidget* window, MainContext& context, std::function<void(QWidget*)> flat,
                disks::TableDisks::Hooks disks);
  // The controllers that answer; bound once they are made. The record
  // commands paste into the description for the record session; the
  // record panel tells where the record's file was found.
  void Bind(TCatalogTabs& tabs, TRecordCommands& records, TRecordPanel& panel);

  QWidget* Window() override { return window_; }
  void ShowStatus(const QString& text) override;
  TSettings& Settings() override;
  RecordSession& Record() override { return recordSession_; }
  search::SearchService& Search() override { return search_; }
  addfiles::BatchService& Batch() override { return batch_; }
  disks::DiskService& Disks() override { return disks_; }
  QString CurrentCatalog() const override;
  void ApplyFlatButtons(QWidget* window) override { flat_(window); }
  void ShowRecord(const QString& catalog, uint32_t recno) override;
  QString TakeZipExtractionFolder() override;
  // Kept when the zip window closes, for the next file operation dialog.
  void KeepZipExtractionFolder(const QString& folder) { zipExtractionFolder_ = folder; }

 private:
  QWidget* window_;
  MainContext& context_;
  TCatalogTabs* tabs_ = nullptr;
  std::function<void(QWidget*)> flat_;
  // What the other windows ask of the tables.
  browse::TableRecordSession recordSession_;
  search::TableSearch search_;
  addfiles::TableBatch batch_;
  disks::TableDisks disks_;
  // The zip window's extraction folder, until a file operation takes it.
  QString zipExtractionFolder_;
};
