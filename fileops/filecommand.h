// The commands of the File menu on the current record's file: Copy, Move,
// Rename, Delete and Create Folder through the file operation dialog, with
// the record following the file, and Launch File.
#pragma once

#include <QString>

#include "fileoperations.h"

class MainWindowServices;
class QWidget;

namespace fileops {

class TFileCommand {
 public:
  // `status` writes the first status panel without starting its timer;
  // the common end of a command goes through the window's ShowStatus.
  TFileCommand(MainWindowServices& window, StatusWriter status);

  // Runs one command on the current record (the window's record session):
  // the dialog, the questions, the file work, the record and the counters.
  // Every message, question and sound goes through the prompts; an engine
  // error is one "Error" box and leaves the record browsing.
  void Run(Operation op);

 private:
  enum class End { Common, Stop };
  End Transfer(Operation op, const QString& source, QString destination);
  End Delete(const QString& path);
  End CreateFolder(const QString& path);
  // The destination's folder exists, or the user had it created.
  bool DestinationFolderReady(const QString& destination);
  void CommonEnd();

  MainWindowServices& window_;
  StatusWriter status_;
};

// Opens the file with the program the desktop associates with its kind; a
// file that cannot be opened is told in an "Error" box.
void LaunchFile(QWidget* parent, const QString& path);

}  // namespace fileops
