// The windows that work on the current record's file: the File menu's
// commands, launching the file, its zip archive, and the search window.
#pragma once

#include <QString>

#include <functional>

#include "fileoperations.h"

class MainContext;
class TMainServices;
class RecordsView;
class TRecordCommands;

class TFileMenu {
 public:
  // `shownPath`: the path the detail panel shows for the current record.
  TFileMenu(MainContext& context, TMainServices& services, RecordsView& view, TRecordCommands& records,
            std::function<QString()> shownPath);

  void mnuFileOpsClick(fileops::Operation op);
  void sbtnRunAppClick();
  void sbtnZipArchClick();
  void sbtnFindClick();

 private:
  MainContext& context_;
  TMainServices& services_;
  RecordsView& view_;
  TRecordCommands& records_;
  std::function<QString()> shownPath_;
  // The overwrite choice of the zip window's last Extract, carried into the
  // next zip window for its text viewer.
  bool zipOverwrite_ = false;
};
