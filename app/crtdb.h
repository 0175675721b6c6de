// The "Database Utility" window: creates the missing database files at
// start-up and shows what was done.
#pragma once

#include <QDialog>

#include "createdb.h"

class QLabel;
class QPushButton;

// Created with the data folder; its constructor creates whatever of
// VTLDataA.dbf, VTLDataA.nsx, VTLCa.dbf and VTLCa.nsx is missing there and
// fills the four result labels: "Created", "Failed", or empty for a file
// that already existed (or was not reached). A table that cannot even be
// started ("VTLDataA.dbf failed", "VTLCa.dbf failed") and an engine error
// that breaks off the creation are reported in a message box, through the
// program's prompts, before the window is shown.
class TfrmCrtDb : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmCrtDb(const QString& dataDir, QWidget* parent = nullptr);

  // The texts of the result labels: records table, its index, catalog
  // table, its index.
  QString Label7Text() const;
  QString Label8Text() const;
  QString Label9Text() const;
  QString Label10Text() const;

  const store::CreationResult& Result() const { return result_; }

  QLabel* recordsTableResult = nullptr;   // Records, Database:
  QLabel* recordsIndexResult = nullptr;   // Records, Index:
  QLabel* catalogTableResult = nullptr;   // Catalogs, Database:
  QLabel* catalogIndexResult = nullptr;  // Catalogs, Index:
  QPushButton* okButton = nullptr;

 private:
  void FormCreate();

  QString dataDir_;
  store::CreationResult result_;
};
