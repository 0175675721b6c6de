// What the main window's controllers share: the tables, the settings, the
// status bar and where their boxes go. The controllers reach the widgets
// only through the view interfaces of their own headers.
#pragma once

#include <QString>

#include <functional>

#include "prompts.h"
#include "statussink.h"

class QWidget;
class TDataModule1;
class TSettings;

// The first panel of the status bar, as the main window's commands write
// to it. A message (ShowStatus) is about the current record: the record's
// file check does not overwrite it while it is shown.
class MainStatus : public StatusSink {
 public:
  // The panel's text as given, held for nothing (a pass under way, a
  // cleared panel).
  virtual void SetStatusText(const QString& text) = 0;
  // The 5 seconds start again from now.
  virtual void RestartClearTimer() = 0;
};

class MainContext {
 public:
  MainContext(TDataModule1& dm, const QString& dataFolder, TSettings& settings, MainStatus& status, QWidget* boxParent)
      : dm(dm), dataFolder(dataFolder), settings(settings), status(status), boxParent(boxParent) {}

  TDataModule1& dm;
  // The folder of the database files.
  const QString dataFolder;
  TSettings& settings;
  MainStatus& status;
  // The parent of the boxes the commands show.
  QWidget* boxParent;
  // Why the database cannot be changed, in lines for a hint ("" when it can).
  QString readOnly;
  // Reports bad data met while showing the records, once per `key` when one
  // is given, in a box shown from the event loop.
  std::function<void(const QString& key, const QString& text)> reportDamage;

  // Runs a command that touches the tables; an engine error becomes one
  // "Error" box and the tables are left browsing. False after an error.
  bool Run(const std::function<void()>& command) const;
  // A box with one button.
  void Tell(prompts::Kind kind, const QString& text) const;
};
